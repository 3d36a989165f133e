#pragma once

// A download engine on a FakeSocket, with its own settings file, save
// directory and an article handler that records what it is given.

#include "core/appcontext.h"
#include "engine/articlelinehandler.h"
#include "engine/downloadengine.h"
#include "settings/grouptable.h"
#include "settings/settingsstore.h"
#include "support/fakesocket.h"
#include "support/scriptedprompter.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>

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
    }
    void overlongLine(QStringView head) override { overlong << head.size(); }
    void closeOutFile() override
    {
        ++closes;
        st.inBody = false;
        st.openPending = false;
    }
    void closeOutFileOnly() override { ++closesOnly; }

    RunState &st;
    QStringList lines;
    QList<qsizetype> overlong; // sizes of the heads of over-long lines
    int closes = 0;
    int closesOnly = 0;
    std::function<void(QStringView)> onLine;
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
    std::unique_ptr<QSignalSpy> runningSpy;
    QDateTime clock{QDate(1997, 12, 6), QTime(23, 0)};

    EngineRig()
    {
        store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("KAPLO.ini")));
        ctx = std::make_unique<AppContext>(*store, prompter);
        ctx->settings.load(*store);
        ctx->settings.serverName = QStringLiteral("news.example");
        ctx->settings.serverPort = QStringLiteral("119");
        ctx->settings.saveDir = dir.path();
        // One command at a time, so that tests read the conversation step by
        // step; the window of commands in flight has tests of its own.
        ctx->settings.pipeline = QStringLiteral("1");
        engine = std::make_unique<DownloadEngine>(*ctx, socket);
        engine->state().now = [this] { return clock; };
        handler = std::make_unique<RecordingHandler>(engine->state());
        engine->setArticleHandler(handler.get());
        ended = std::make_unique<QSignalSpy>(engine.get(), &DownloadEngine::runEnded);
        runningSpy = std::make_unique<QSignalSpy>(engine.get(), &DownloadEngine::runningChanged);
    }

    // A row with the given next-article number and download flag.
    void addGroup(const QString &name, const QString &last = QString(),
                  const QString &download = QStringLiteral("YES"))
    {
        GroupTable::Row row = GroupTable::newRow(name, ctx->groupDefaults());
        row[GroupTable::Last] = last;
        row[GroupTable::Download] = download;
        ctx->groups.insertRow(ctx->groups.count(), row);
    }
    QString cell(int row, int col) const { return ctx->groups.text(row, col); }
    QString storedLast(int row) const
    {
        return store->read(GroupTable::sectionOf(row), QStringLiteral("LAST"),
                           QStringLiteral("<none>"));
    }

    // Starts a run and delivers the greeting.
    void start()
    {
        engine->Command1_Click();
        socket.feed(QStringLiteral("200 news.example ready\r\n"));
    }
    QString lastSent() const { return socket.sent.isEmpty() ? QString() : socket.sent.last(); }
    // What was sent, without the line ends.
    QStringList commands() const
    {
        QStringList out;
        for (const QString &s : socket.sent)
            out << (s.endsWith(QLatin1String("\r\n")) ? s.chopped(2) : s);
        return out;
    }
    QByteArray fileBytes(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};
