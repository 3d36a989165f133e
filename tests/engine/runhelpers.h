#pragma once

// Helpers for the tests that run whole downloads: articles with an
// attachment, a port nobody listens on, a settings file for kaplo-cli and
// running kaplo-cli download.

#include "settings/grouptable.h"
#include "settings/settingsstore.h"

#include <QByteArray>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTest>

namespace runtest {

inline QString sec(const char *s)
{
    return QString::fromUtf8(s);
}

// A small uuencoder, enough to make an attachment.
inline QByteArray uuencode(const QByteArray &name, const QByteArray &data)
{
    auto enc = [](int v) { return char(v == 0 ? '`' : v + 32); };
    QByteArray out = "begin 644 " + name + "\r\n";
    for (qsizetype i = 0; i < data.size(); i += 45) {
        const QByteArray chunk = data.mid(i, 45);
        out += enc(int(chunk.size()));
        for (qsizetype j = 0; j < chunk.size(); j += 3) {
            const auto b = [&](qsizetype k) {
                return k < chunk.size() ? static_cast<unsigned char>(chunk[k]) : 0;
            };
            const int v = (b(j) << 16) | (b(j + 1) << 8) | b(j + 2);
            out += enc((v >> 18) & 63);
            out += enc((v >> 12) & 63);
            out += enc((v >> 6) & 63);
            out += enc(v & 63);
        }
        out += "\r\n";
    }
    out += "`\r\nend\r\n";
    return out;
}

inline quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

// A settings file for kaplo-cli: server, save directory, log, groups.
inline void writeSettings(const QString &path, quint16 port, const QString &saveDir,
                          const QStringList &groups)
{
    SettingsStore store(path);
    const auto set = [&](const char *section, const char *key, const QString &value) {
        store.write(QLatin1String(section), QLatin1String(key), value);
    };
    set("SERVER", "SERVERNAME", QStringLiteral("127.0.0.1"));
    set("SERVER", "SERVERPORT", QString::number(port));
    set("SAVE", "DIR", saveDir);
    set("SAVE", "LOG", QStringLiteral("TRUE"));
    GroupTable t;
    for (const QString &g : groups)
        t.insertRow(t.count(), GroupTable::newRow(g, {"NO", "NO", "NO"}));
    store.beginBatch();
    t.saveAll(store);
    store.commitBatch();
}

// An article for INN: From, Newsgroups, Subject and the body.
inline QByteArray innArticle(const QString &group, const QString &subject, const QByteArray &body)
{
    return "From: Poster <poster@example.com>\r\nNewsgroups: " + group.toUtf8() +
           "\r\nSubject: " + subject.toUtf8() + "\r\n\r\n" + body;
}

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// kaplo-cli with these arguments; the event loop runs meanwhile, so that a
// scripted server of this process keeps answering.
inline CliResult kaplo(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(KAPLO_CLI_PATH), args);
    CliResult r;
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
inline CliResult runCli(const QString &settings)
{
    return kaplo({QStringLiteral("download"), QStringLiteral("--settings"), settings});
}

} // namespace runtest
