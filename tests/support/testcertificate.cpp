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
            QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 2 -subj").split(u' ') +
                QStringList{"/CN=" + name, "-addext", "subjectAltName=DNS:" + name, "-keyout",
                            keyFile, "-out", certFile});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 ||
        !QFile::exists(certFile) || !QFile::exists(keyFile)) {
        error = QStringLiteral("openssl req failed: ") + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}
