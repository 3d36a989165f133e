#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A private INN news server (scripts/inn-test-server.sh) in a temporary tree,
// on 127.0.0.1 at a free port, removed by the destructor. Articles are
// numbered 1, 2, 3 ... per group in the order they are posted. Starting takes
// about half a second: a test class shares one server, a fresh group a test.
class InnServer final {
public:
    InnServer() = default;
    ~InnServer();
    InnServer(const InnServer &) = delete;
    InnServer &operator=(const InnServer &) = delete;

    // innd is installed and we may start it (root or password-less sudo).
    static bool available() { return unavailableReason().isEmpty(); }
    static QString unavailableReason();

    // Starts the server; true when it answers. Does nothing when running.
    bool start();

    static QString host() { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }

    // Set before start(): nnrpd also serves implicit TLS on tlsHost():tlsPort()
    // with a self-signed certificate; caFile() is the authority to trust.
    void setTls(bool on) { m_tls = on; }
    quint16 tlsPort() const { return m_tlsPort; }
    QString caFile() const
    {
        return m_securityDir ? m_securityDir->filePath(QStringLiteral("server.pem")) : QString();
    }
    static QString tlsHost() { return QStringLiteral("localhost"); }
    // Set before start(): readers (not post()) must give AUTHINFO USER/PASS.
    void setReaderPassword(const QString &user, const QString &password)
    {
        m_user = user;
        m_password = password;
    }

    // After start():
    bool newGroup(const QString &name) { return newGroups({name}); }
    bool newGroups(const QStringList &names);

    // Feeds an article exactly as given (lines end with CR LF or LF) with
    // IHAVE from a peer, so raw header bytes arrive unchanged. Adds a
    // Message-ID and Path (it must have neither), and a Date when it has none.
    bool post(const QByteArray &article);

    // What went wrong in the last call that returned false.
    QString errorString() const { return m_error; }

private:
    bool runScript(const QStringList &args);
    bool prepareSecurity(QStringList &args);
    bool fail(const QString &error)
    {
        m_error = error;
        return false;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_securityDir;
    bool m_tls = false;
    bool m_running = false;
    QString m_user;
    QString m_password;
    quint16 m_tlsPort = 0;
    quint16 m_port = 0;
    QString m_error;
};
