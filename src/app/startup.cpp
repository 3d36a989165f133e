#include "app/startup.h"

#include "app/startupmode.h"
#include "core/appcontext.h"
#include "decode/decodetables.h"
#include "output/naming.h"

QString Startup::commandLineOf(const QStringList &argumentsAfterProgram)
{
    return argumentsAfterProgram.join(QLatin1Char(' '));
}

bool Startup::settingsReadable(AppContext &ctx)
{
    if (ctx.store.readable())
        return true;
    ctx.prompter.message(ctx.store.unreadableMessage());
    return false;
}

void Startup::Form_Load(AppContext &ctx, const QString &commandLine)
{
    ctx.commandLine = commandLine;

    ctx.logMode = false;
    if (StartupMode::fromCommandLine(commandLine).logPrompt) {
        const auto answer = ctx.prompter.input(QStringLiteral("LOG=L"), QStringLiteral("X"));
        ctx.logMode = answer && *answer == QLatin1String("L");
        if (ctx.logMode)
            ctx.prompter.message(QStringLiteral("ログモードです"));
    }

    ctx.settings.load(ctx.store);
    ctx.groups.load(ctx.store, ctx.groupDefaults());
    ctx.selectedGroup = 0;

    // Built once; the decoders read the shared instance.
    (void)DecodeTables::instance();
}

Activation::Activation(AppContext &ctx, Hooks hooks) : m_ctx(ctx), m_hooks(std::move(hooks)) {}

void Activation::activated()
{
    if (m_inPass) {
        m_again = true;
        return;
    }
    m_inPass = true;
    do {
        m_again = false;
        Form_Activate();
    } while (m_again);
    m_inPass = false;
}

void Activation::Form_Activate()
{
    if (SaveDirCheck(m_ctx.settings.saveDir)) {
        m_ctx.prompter.message(QStringLiteral("保存ﾃﾞｨﾚｸﾄﾘが設定されていないか正しくありません"));
        if (m_hooks.saveDirDialog)
            m_hooks.saveDirDialog();
    }

    if (m_ctx.settings.serverName == RunningSettings::defaultServerName()) {
        m_ctx.prompter.message(QStringLiteral("ﾆｭｰｽｻｰﾊﾞｰが設定されていません"));
        if (m_hooks.serverDialog)
            m_hooks.serverDialog();
    }

    if (m_autoStartDone || !StartupMode::fromCommandLine(m_ctx.commandLine).autoStart)
        return;
    m_autoStartDone = true;
    if (m_hooks.command1Click)
        m_hooks.command1Click();
}
