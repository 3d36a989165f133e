#include "support/testcertificate.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

bool TestCertificate::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty();
}

bool TestCertificate::make(const QString &dir, const QString &name)
{
    certFile = QDir(dir).filePath(QStringLiteral("server.pem"));
    keyFile = QDir(dir).filePath(QStringLiteral("server.key"));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
             QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
             QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=") + name,
             QStringLiteral("-addext"), QStringLiteral("subjectAltName=DNS:") + name,
             QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 ||
        !QFile::exists(certFile) || !QFile::exists(keyFile)) {
        error = QStringLiteral("openssl req failed: ") + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}
