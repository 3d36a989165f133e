#pragma once

#include <QString>
#include <QStringList>

#include <functional>

struct AppContext;

// What the main window does before it is first shown (Form_Load) and each
// time it becomes active (Form_Activate), without any widget: the window
// forwards to these.
namespace Startup {

// CommandLine: the program's arguments after its name, joined with single
// blanks, as one text.
QString commandLineOf(const QStringList &argumentsAfterProgram);

// Before anything else: a settings file that exists but cannot be read is
// told about ("設定ファイルを読めません: PATH (reason)") and the program
// must end without touching it. false then.
bool settingsReadable(AppContext &ctx);

// Form_Load of the main window except the centring: stores the command line,
// decides LogMode (asking "LOG=L" when the command line asks for it), loads
// every setting into ctx.settings, loads the group table with the derived
// defaults and builds the decode tables.
void Form_Load(AppContext &ctx, const QString &commandLine);

} // namespace Startup

// The activation checks of the main window and the automatic start.
//
// Each pass runs, in order and each whatever the others showed: the save
// directory check (message, then the save-directory dialog), the server name
// check (message, then the server dialog) and, for the command lines
// "DOWNLOAD" and "DEBUG DOWNLOAD", the start/stop button's action.
//
// A dialog opened by a pass makes the window active again when it closes. An
// activation that arrives while a pass is under way is not run inside it;
// it is remembered and one more pass runs when the current one ends, so the
// messages and dialogs come back until what they ask for is set, and the
// stack never grows.
//
// The automatic start is performed once in the life of the program, by the
// first pass. The start/stop action toggles, so performing it on every
// activation would stop the run it had just started the next time a dialog
// (or the about box) closed, and would start an unwanted run after the first
// one ended. With "DOWNLOAD" and no server set, the first pass shows the
// missing-server message and the server dialog and then starts the run:
// exactly one start.
class Activation final {
public:
    struct Hooks {
        std::function<void()> saveDirDialog; // frmOptions1, modal
        std::function<void()> serverDialog;  // frmOptions, modal
        std::function<void()> command1Click; // the start/stop button's action
    };

    Activation(AppContext &ctx, Hooks hooks);

    // The main window became active.
    void activated();
    // One pass of the checks and the automatic start.
    void Form_Activate();

    bool autoStartDone() const { return m_autoStartDone; }
    bool inPass() const { return m_inPass; }

private:
    AppContext &m_ctx;
    Hooks m_hooks;
    bool m_inPass = false;
    bool m_again = false;
    bool m_autoStartDone = false;
};
