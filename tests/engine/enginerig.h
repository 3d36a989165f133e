#pragma once

// A download engine with its own settings file and save directory, on a
// FakeSocket the test plays the server through or on a real socket; its
// article handler records what it is given and may pass it on.

#include "core/appcontext.h"
#include "engine/articlelinehandler.h"
#include "engine/downloadengine.h"
#include "engine/tcpnntpsocket.h"
#include "settings/grouptable.h"
#include "settings/settingsstore.h"
#include "support/fakesocket.h"
#include "support/scriptedprompter.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

class RecordingHandler final : public ArticleLineHandler {
public:
    explicit RecordingHandler(RunState &s) : st(s) {}
    void articleLine(QStringView line) override
    {
        lines << line.toString();
        if (onLine)
            onLine(line);
        if (next)
            next->articleLine(line);
    }
    bool rawArticleLine(QByteArrayView line) override { return next && next->rawArticleLine(line); }
    void overlongLine(QStringView head) override
    {
        overlong << head.size();
        if (next)
            next->overlongLine(head);
    }
    void endOfRun() override
    {
        if (next)
            next->endOfRun();
    }
    void closeOutFile() override
    {
        ++closes;
        if (next)
            next->closeOutFile();
        else
            st.inBody = st.openPending = false;
    }
    void closeOutFileOnly() override
    {
        ++closesOnly;
        if (next)
            next->closeOutFileOnly();
    }

    RunState &st;
    QStringList lines;
    QList<qsizetype> overlong; // sizes of the heads of over-long lines
    int closes = 0;
    int closesOnly = 0;
    std::function<void(QStringView)> onLine;
    ArticleLineHandler *next = nullptr; // a real handler the lines go on to
};

// A real socket that also keeps the commands it sent, without line ends.
class RecordingTcpSocket final : public TcpNntpSocket {
public:
    void send(const QString &text) override
    {
        sent << text.chopped(2);
        TcpNntpSocket::send(text);
    }
    QStringList sent;
};

// Collects what a socket delivers, reading at each data event but the
// first `skip` ones.
struct SocketReader {
    NntpSocket &socket;
    QString text;
    QStringList errors;
    QString textAtError; // what had been read when the error came
    int events = 0;
    explicit SocketReader(NntpSocket &s, int skip = 0) : socket(s)
    {
        QObject::connect(&s, &NntpSocket::dataArrival, [this, skip] {
            if (++events > skip)
                text += socket.readAll();
        });
        QObject::connect(&s, &NntpSocket::error, [this](const QString &e) {
            errors << e;
            textAtError = text;
        });
    }
};

struct EngineRig {
    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    ScriptedPrompter prompter;
    std::unique_ptr<AppContext> ctx;
    FakeSocket socket;
    std::unique_ptr<DownloadEngine> engine;
    std::unique_ptr<RecordingHandler> handler;
    std::unique_ptr<QSignalSpy> ended;
    QDateTime clock{QDate(1997, 12, 6), QTime(23, 0)};

    // One command at a time, so that a conversation reads step by step.
    explicit EngineRig(NntpSocket *real = nullptr, const QString &host = "news.example",
                       int port = 119)
    {
        store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("KAPLO.ini")));
        ctx = std::make_unique<AppContext>(*store, prompter);
        set("SERVER/SERVERNAME", host);
        set("SERVER/SERVERPORT", QString::number(port));
        set("SAVE/DIR", dir.path());
        set("SERVER/PIPELINE", "1");
        engine = std::make_unique<DownloadEngine>(*ctx, real ? *real : socket);
        engine->state().now = [this] { return clock; };
        handler = std::make_unique<RecordingHandler>(engine->state());
        engine->setArticleHandler(handler.get());
        ended = std::make_unique<QSignalSpy>(engine.get(), &DownloadEngine::runEnded);
    }

    // A setting as kaplo-cli config names it ("SERVER/SSL"), through the file.
    void set(const QString &key, const QString &value)
    {
        store->write(key.section(u'/', 0, 0), key.section(u'/', 1), value);
        ctx->settings.load(*store);
    }
    void addGroup(const QString &name, const QString &last = {}, const QString &download = "YES")
    {
        GroupTable::Row row = GroupTable::newRow(name, ctx->groupDefaults());
        row[GroupTable::Last] = last;
        row[GroupTable::Download] = download;
        ctx->groups.insertRow(ctx->groups.count(), row);
    }
    QString cell(int row, int col) const { return ctx->groups.text(row, col); }
    QString storedLast(int row) const
    {
        return store->read(GroupTable::sectionOf(row), QStringLiteral("LAST"), "<none>");
    }
    // A whole run on a real socket.
    bool run(int timeoutMs = 30000)
    {
        const qsizetype before = ended->count();
        engine->Command1_Click();
        return QTest::qWaitFor([&] { return ended->count() > before; }, timeoutMs);
    }
    QByteArray fileBytes(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};
