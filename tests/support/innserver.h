#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

// A private INN news server for integration tests, run by
// scripts/inn-test-server.sh: its own tree in a temporary folder, listening
// on 127.0.0.1 at a free port, stopped and removed by stop() or the
// destructor. Readers on 127.0.0.1 get the normal reader conversation
// (GROUP, ARTICLE, NEXT, LIST, NEWGROUPS); articles are numbered 1, 2, 3 ...
// per group in the order they are posted.
//
//   if (!InnServer::available())
//       QSKIP(qPrintable(InnServer::unavailableReason()));
//   InnServer inn;
//   QVERIFY2(inn.start(), qPrintable(inn.errorString()));
//   QVERIFY2(inn.newGroup("kaplo.test"), qPrintable(inn.errorString()));
//   QVERIFY2(inn.post(article), qPrintable(inn.errorString()));
//   ... connect to 127.0.0.1:inn.port() ...
//
// Starting takes about half a second: a test class shares one server
// (start it in initTestCase()) and uses a fresh group per test.
//
// Secure and authenticated readers, set before start():
//   inn.setTls(true);                    // nnrpd also serves implicit TLS on
//                                        // tlsHost():tlsPort(); trust caFile()
//   inn.setReaderPassword("user", "pw"); // readers must AUTHINFO USER/PASS
class InnServer final {
public:
    InnServer();
    ~InnServer();
    InnServer(const InnServer &) = delete;
    InnServer &operator=(const InnServer &) = delete;

    // innd is installed and we may start it (we are root, or sudo works
    // without a password). Checked once.
    static bool available();
    static QString unavailableReason();

    // Starts the server; true when it answers. Does nothing when running.
    bool start();
    // Stops the server and removes its folder.
    void stop();
    bool isRunning() const { return m_running; }

    static QString host() { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }

    // nnrpd also listens on tlsPort() with implicit TLS (RFC 8143), with a
    // self-signed certificate made for tlsHost(); caFile() is that
    // certificate, the authority a client must trust.
    void setTls(bool on) { m_tls = on; }
    quint16 tlsPort() const { return m_tlsPort; }
    QString caFile() const;
    static QString tlsHost() { return QStringLiteral("localhost"); }
    // Readers on every port must authenticate with this user name and
    // password (AUTHINFO USER/PASS, checked by ckpasswd). An empty user name
    // lets readers in without. post() is unaffected.
    void setReaderPassword(const QString &user, const QString &password);

    // Creates newsgroups (ctlinnd newgroup).
    bool newGroup(const QString &name);
    bool newGroups(const QStringList &names);

    // Feeds an article to the server exactly as given: raw bytes, headers,
    // a blank line, the body; lines end with CR LF or LF alone. Dot-stuffing
    // is done here. Headers are not checked by the reader side, so raw
    // ISO-2022-JP or Shift_JIS bytes in them arrive unchanged; the server
    // only adds to Path and adds Xref. Message-ID, Path and Date are added
    // when missing; From, Newsgroups and Subject are the caller's. Fed with
    // IHAVE from 127.0.0.2, a peer address.
    bool post(const QByteArray &article);

    // What went wrong in the last call that returned false.
    QString errorString() const { return m_error; }

    // The script that runs the server.
    static QString scriptPath();

private:
    bool runScript(const QStringList &args, int timeoutMs = 60000);
    // The certificate and the password file the script is given.
    bool prepareSecurity(QStringList &args);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_securityDir;
    bool m_tls = false;
    QString m_user;
    QString m_password;
    quint16 m_tlsPort = 0;
    quint16 m_port = 0;
    bool m_running = false;
    QString m_error;
};
