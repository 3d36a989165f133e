#include "support/innserver.h"

#include "support/testcertificate.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace {

const QString script = QStringLiteral(KAPLO_SOURCE_DIR "/scripts/inn-test-server.sh");

// A port nobody listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool runs(const QString &program, const QStringList &args, QProcess &p)
{
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

InnServer::~InnServer()
{
    if (!m_dir)
        return;
    if (!runScript({QStringLiteral("purge"), m_dir->path()}))
        qWarning("InnServer: %s", qPrintable(m_error));
    QDir(m_dir->path()).removeRecursively(); // a start that failed early leaves it ours
}

QString InnServer::unavailableReason()
{
    static const QString reason = []() -> QString {
        if (!QFile::exists(QStringLiteral("/usr/lib/news/bin/innd")))
            return QStringLiteral("INN is not installed (run scripts/setup.sh)");
        QProcess p;
        if (::geteuid() != 0 && !runs(QStringLiteral("sudo"), {"-n", "true"}, p))
            return QStringLiteral("INN needs root or password-less sudo");
        return {};
    }();
    return reason;
}

bool InnServer::prepareSecurity(QStringList &args)
{
    if (!m_tls && m_user.isEmpty())
        return true;
    if (!m_securityDir) {
        m_securityDir = std::make_unique<QTemporaryDir>();
        TestCertificate cert;
        if (m_tls && !cert.make(m_securityDir->path(), tlsHost()))
            return fail(cert.error);
        // ckpasswd -f compares with crypt(3): a SHA-512 crypt hash.
        QProcess p;
        QFile f(m_securityDir->filePath(QStringLiteral("passwd")));
        if (!m_user.isEmpty() &&
            (!runs(QStringLiteral("openssl"), {"passwd", "-6", m_password}, p) ||
             !f.open(QIODevice::WriteOnly) ||
             f.write(m_user.toUtf8() + ':' + p.readAllStandardOutput()) < 0))
            return fail(QStringLiteral("cannot make the password file: ") +
                        QString::fromLocal8Bit(p.readAllStandardError()));
    }
    if (m_tls) {
        do { // a port of its own, not the one innd takes
            m_tlsPort = freePort();
        } while (m_tlsPort != 0 && m_tlsPort == m_port);
        args << QStringLiteral("--tls") << QString::number(m_tlsPort) << caFile()
             << m_securityDir->filePath(QStringLiteral("server.key"));
    }
    if (!m_user.isEmpty())
        args << QStringLiteral("--passwd") << m_securityDir->filePath(QStringLiteral("passwd"));
    return true;
}

bool InnServer::runScript(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (runs(QStringLiteral("bash"), QStringList{script} + args, p))
        return true;
    p.kill();
    p.waitForFinished(5000);
    return fail(QStringLiteral("%1 %2 failed: %3")
                    .arg(script, args.join(u' '), QString::fromLocal8Bit(p.readAll()).trimmed()));
}

bool InnServer::start()
{
    if (m_running)
        return true;
    if (!available())
        return fail(unavailableReason());
    if (!m_dir)
        m_dir =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kaplo-inn-XXXXXX"));
    // The script owns the tree from now on (it becomes news's): it removes it.
    m_dir->setAutoRemove(false);
    // Another process may take the probed port before innd binds it: retry.
    for (int attempt = 0; attempt < 3 && !m_running; ++attempt) {
        m_port = freePort();
        QStringList args{QStringLiteral("start"), m_dir->path(), QString::number(m_port)};
        if (!prepareSecurity(args))
            return false;
        m_running = runScript(args);
        if (!m_running)
            runScript({QStringLiteral("stop"), m_dir->path()});
    }
    return m_running;
}

bool InnServer::newGroups(const QStringList &names)
{
    return runScript(QStringList{QStringLiteral("newgroup"), m_dir->path()} + names);
}

bool InnServer::post(const QByteArray &article)
{
    // Lines without their ends; a final line end does not make a last line.
    QList<QByteArray> lines = QByteArray(article).replace("\r\n", "\n").split('\n');
    if (article.endsWith('\n'))
        lines.removeLast();
    const qsizetype blank = lines.indexOf(QByteArray());
    const bool dated =
        std::any_of(lines.begin(), blank < 0 ? lines.end() : lines.begin() + blank,
                    [](const QByteArray &l) { return l.toLower().startsWith("date:"); });
    // What a reader's server would have added; the history is the server's own.
    static QAtomicInteger<int> serial;
    const QByteArray id = "<kaplo." + QByteArray::number(QCoreApplication::applicationPid()) + '.' +
                          QByteArray::number(serial.fetchAndAddRelaxed(1)) + "@kaplo.test>";
    QByteArray wire = "Message-ID: " + id + "\r\nPath: kaplo.test!not-for-mail\r\n";
    if (!dated)
        wire += "Date: Sat, 6 Dec 1997 12:34:56 +0000\r\n";
    for (const QByteArray &l : lines)
        wire += (l.startsWith('.') ? "." : "") + l + "\r\n"; // dot-stuffing
    wire += ".\r\n";

    // Each step's answer must begin with its code.
    QTcpSocket s;
    const auto step = [&](const QByteArray &out, const QByteArray &code) {
        s.write(out);
        while (!s.canReadLine() && s.waitForReadyRead(60000)) {
        }
        const QByteArray answer = s.readLine().trimmed();
        return answer.startsWith(code) ||
               fail(QString::fromLatin1(out.left(40).trimmed() + " -> " + answer) +
                    s.errorString());
    };
    if (!s.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0))
        return fail(QStringLiteral("cannot bind to 127.0.0.2: ") + s.errorString());
    s.connectToHost(QHostAddress::LocalHost, m_port);
    return step({}, "2") && step("IHAVE " + id + "\r\n", "335") && step(wire, "235");
}
