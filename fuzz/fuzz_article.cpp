// Article lines as the engine hands them over (the bytes first, to a yEnc
// body; as text otherwise), with every group option, into a temporary save
// directory. Nothing may crash, and nothing may be
// created outside the save directory.
#include "core/appcontext.h"
#include "core/prompter.h"
#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/runlog.h"
#include "engine/runstate.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void check(bool ok, const char *what, const QString &detail = {})
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s %s\n", what, qPrintable(detail));
        std::abort();
    }
}

class SilentPrompter final : public Prompter {
public:
    void message(const QString &) override {}
    bool confirm(const QString &) override { return true; }
    std::optional<QString> input(const QString &, const QString &d) override { return d; }
};

struct Fixture {
    QTemporaryDir base;
    QString save;
    std::unique_ptr<SettingsStore> store;
    SilentPrompter prompter;
    std::unique_ptr<AppContext> ctx;

    Fixture()
    {
        save = base.filePath(QStringLiteral("save"));
        store = std::make_unique<SettingsStore>(base.filePath(QStringLiteral("KAPLO.ini")));
        ctx = std::make_unique<AppContext>(*store, prompter);
        ctx->settings.saveDir = save;
    }
};

Fixture &fixture()
{
    static int argc = 1;
    static char name[] = "fuzz_article";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Fixture f;
    return f;
}

const char *flag(bool on, const char *yes, const char *no)
{
    return on ? yes : no;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fixture &f = fixture();
    QDir(f.save).removeRecursively();
    QDir().mkpath(f.save);
    if (size < 1)
        return 0;

    // The first byte picks the options.
    const uint8_t o = data[0];
    f.ctx->settings.groupDir = QLatin1String(flag(o & 1, "TRUE", "FALSE"));
    f.ctx->settings.log = QLatin1String(flag(o & 2, "TRUE", "FALSE"));
    RunState state;
    state.groupDateDir = QLatin1String(flag(o & 4, "YES", "NO"));
    state.groupUserDir = QLatin1String(flag(o & 8, "YES", "NO"));
    state.groupSubject = QLatin1String(flag(o & 16, "YES", "NO"));
    state.groupRewrite = QLatin1String(flag(o & 32, "YES", "NO"));
    state.runDate = QStringLiteral("971206");
    state.now = [] { return QDateTime(QDate(1997, 12, 6), QTime(23, 0)); };
    RunLog log;
    if (o & 2)
        log.openSummary(RunLog::summaryPath(f.save, state.runDate));

    QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1).split('\n');
    for (QByteArray &l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    // The first line names the group, as a user could have typed it.
    state.groupName = lines.isEmpty() ? QString() : Cp932::decode(lines.takeFirst());

    ArticleParser parser(*f.ctx, state, log);
    for (const QByteArray &l : lines) {
        if (l == ".") {
            // The end of an article, as the engine ends it.
            log.endRecord();
            state.from.clear();
            state.dateText.clear();
            state.openPending = false;
            state.subject.clear();
            parser.closeOutFile();
            state.mimeState = MimeState::None;
            state.pendingFileName.clear();
            continue;
        }
        if (!(state.inBody && parser.rawArticleLine(l)))
            parser.articleLine(Cp932::decode(l));
        if (!state.fatalError.isEmpty() || !state.runError.isEmpty())
            break;
    }
    parser.endOfRun();
    parser.closeOutFile();
    log.closeSummary();

    // Nothing beside the save directory and the settings file.
    for (const QString &e :
         QDir(f.base.path())
             .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        check(e == QLatin1String("save") || e == QLatin1String("KAPLO.ini"),
              "created outside the save directory:", e);
    }
    // Nothing inside it that leads out.
    QDirIterator it(f.save, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        check(!fi.isSymLink(), "a link in the save directory:", fi.filePath());
        // No file grows past what an article can carry (a yEnc offset is
        // never taken beyond the file's size).
        check(fi.size() <= qint64(size) * 2 + 4096, "a file bigger than its input:", fi.filePath());
    }
    // A count never goes backwards or past what was opened.
    check(state.fileCount >= 0 && state.byteCount >= 0, "negative counters");
    return 0;
}
