#pragma once

#include <QList>
#include <QString>
#include <QStringView>

struct RunningSettings;

// The commands a conversation sends for the server rather than for itself:
// MODE READER (RFC 3977 section 5.3) and AUTHINFO USER/PASS (RFC 4643
// section 2.3), after the greeting and again, once, when a command is
// answered 480. Both NNTP conversations (download run and catalogue) keep
// one; they own the socket and their line handling and ask this object what
// to send and what a reply means.
//
// With MODE READER off and no user name nothing here sends anything or takes
// any reply, so the conversation is exactly the one without it.
//
//   at connect:     auth.reset(NntpAuth::Settings::from(running));
//   the greeting:   begin(): Pass -> send the first command as ever;
//                   Taken -> wait; Fail -> error path with failure()
//   a status reply: reply(line): Pass -> handle the line as ever;
//                   Taken -> nothing (a command may be waiting);
//                   Resume -> send the conversation's command (again);
//                   Fail -> error path with failure()
//   sending:        if (auth.hasCommand()) send(auth.takeCommand());
//                   otherwise the conversation's own command, unless busy()
//
// The password is only ever written to the socket: no text made here holds
// it, and failure() shows the server's reply.
class NntpAuth final {
public:
    struct Settings {
        bool modeReader = false; // SERVER/MODEREADER on
        QString user;            // SERVER/USER; empty: no authentication
        QString pass;            // SERVER/PASS
        static Settings from(const RunningSettings &running);
    };

    enum class Reply {
        Pass,   // not ours: the conversation handles the line
        Taken,  // ours: nothing more to do with it
        Resume, // done: the conversation sends its pending command
        Fail    // the run or the fetch ends; failure() says why
    };

    // A new connection with these settings: nothing sent, nothing pending.
    void reset(const Settings &settings);
    // The greeting has arrived.
    Reply begin();
    // A status line the conversation would take as the reply to its command.
    Reply reply(QStringView line);

    // A command of ours is to be sent (the conversation sends it when it
    // would send its own).
    bool hasCommand() const { return m_pending; }
    // That command with its CR LF; it is then awaiting its reply.
    QString takeCommand();
    // Steps are under way: the conversation's own command must wait.
    bool busy() const { return !m_steps.isEmpty(); }
    bool authenticated() const { return m_authenticated; }

    // Why the conversation must end (set when begin() or reply() said Fail).
    QString failure() const { return m_failure; }

    static QString refusedText(const QString &serverReply); // "認証に失敗しました: …"
    static QString modeReaderRefusedText(const QString &reply); // "MODE READERが拒否されました: …"
    static QString badCharacterText(); // a line end in the user name or password
    static QString noPasswordText(const QString &serverReply); // 381 with no password set

private:
    enum class Step { ModeReader, User, Pass };

    Reply startSteps(QList<Step> steps);
    Reply fail(const QString &text);
    Reply stepDone();
    bool credentialsSendable() const;

    Settings m_settings;
    QList<Step> m_steps; // the first is in flight (or pending)
    bool m_pending = false;
    bool m_authenticated = false;
    // Authentication has just succeeded and no reply of the conversation's
    // own has come since: another 480 now means it will never be enough.
    bool m_fresh = false;
    QString m_failure;
};
