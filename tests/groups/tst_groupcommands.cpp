#include "groupfixture.h"

#include "groups/groupcommands.h"
#include "groups/groupdialog.h"
#include "settings/runlock.h"
#include "support/escapes.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QHash>
#include <QRegularExpression>
#include <QTest>

#include <functional>

// The group table's commands, scripted by tests/data/groups/commands.txt.
class TestGroupCommands : public QObject {
    Q_OBJECT
private slots:
    void scripts_data() { kaplotest::addDataRows(QStringLiteral("groups/commands.txt")); }
    void scripts()
    {
        QFETCH(kaplotest::DataCase, c);
        GroupFixture f(c.text("names").split(QLatin1Char(' '), Qt::SkipEmptyParts));
        RunLock other(f.path); // as another process's run
        int dialogs = 0;
        std::unique_ptr<GroupCommands> commands;
        const auto rebuild = [&] {
            commands = std::make_unique<GroupCommands>(*f.ctx);
            commands->showGroupDialog = [&] { ++dialogs; };
            QObject::connect(
                &f.ctx->groups, &GroupTable::nameEdited,
                [&](int row, const QString &text) { commands->rename(row + 1, text); });
        };
        rebuild();
        for (const QString &line : c.lines("script")) {
            const QString cmd = line.section(" -> ", 0, -2), expected = line.section(" -> ", -1);
            const QString word = line.section(' ', 0, 0), rest = line.section(' ', 1);
            const QString arg =
                kaplotest::unescape(cmd.section(' ', word == QLatin1String("accept") ? 1 : 2));
            const int n = rest.section(' ', 0, 0).toInt();
            GroupDialog::Values v = GroupDialog::load(*f.ctx);
            bool *const flags[] = {&v.download, &v.subject, &v.dateDir, &v.userDir, &v.overwrite};
            const auto shown = [&] {
                QString f;
                for (bool *b : flags)
                    f += *b ? '1' : '0';
                return QStringList{v.name, v.last, f};
            };
            const QHash<QString, std::function<bool()>> commandOf = {
                {"add", [&] { return commands->add(); }},
                {"delete", [&] { return commands->deleteGroup(); }},
                {"up", [&] { return commands->moveUp(); }},
                {"down", [&] { return commands->moveDown(); }},
                {"settings", [&] { return commands->openSettings(); }},
                {"rename", [&] { return commands->rename(n, arg); }},
                {"edit", // through the list's model
                 [&] {
                     f.ctx->groups.setData(f.ctx->groups.index(n - 1, 0), arg, Qt::EditRole);
                     return f.prompter.shown.isEmpty();
                 }},
                {"accept", // OK in the group dialog for the selected row
                 [&] {
                     const QStringList p = arg.split('|');
                     v.name = p.value(0), v.last = p.value(1);
                     const QString given = p.value(2, shown().last());
                     for (int i = 0; i < 5; ++i)
                         *flags[i] = given[i] == '1';
                     return GroupDialog::accept(*f.ctx, v);
                 }},
            };
            if (!cmd.isEmpty()) {
                const QByteArray bytes = fileBytes(f.path);
                const QStringList names = f.names();
                const int selected = f.ctx->selectedGroup;
                f.prompter.shown.clear();
                const bool ok = commandOf.value(word)();
                QString message = f.prompter.shown.join('|');
                for (const auto &[text, token] :
                     {std::pair{f.ctx->runLock.busyMessage(), "<busy>"},
                      std::pair{f.store->errorString(), "<store>"},
                      std::pair{GroupCommands::reloadedMessage(), "<reloaded>"}})
                    if (!text.isEmpty())
                        message.replace(text, QString::fromLatin1(token));
                QVERIFY2((ok ? "ok" : message) == expected && ok == message.isEmpty(),
                         qPrintable(line + "   but: " + message));
                QVERIFY2(f.fileAgrees(), qPrintable(line));
                // Read again, the rows and the selection are the file's.
                QVERIFY2(ok || (fileBytes(f.path) == bytes &&
                                (message == u"<reloaded>" ||
                                 (f.names() == names && f.ctx->selectedGroup == selected))),
                         qPrintable(line));
            } else if (word == QLatin1String("select")) {
                commands->select(n);
            } else if (word == QLatin1String("run")) { // column 2 as a run left it
                for (int r = 0; r < f.ctx->groups.count(); ++r)
                    f.ctx->groups.setText(r, GroupTable::Lowest, QString::number(r + 10));
            } else if (word == QLatin1String("lock")) {
                QVERIFY(rest == QLatin1String("on") ? other.tryLock() : (other.unlock(), true));
            } else if (word == QLatin1String("fail")) {
                f.store->failWritesForTesting(rest == QLatin1String("on"));
            } else if (word == QLatin1String("outside")) { // OLD NEW, by another program
                QVERIFY(kaplotest::editFile(f.path, rest.section(' ', 0, 0).toUtf8(),
                                            rest.section(' ', 1).toUtf8()));
            } else if (word == QLatin1String("own")) { // SECTION KEY VALUE, no fresh load
                QVERIFY(f.store->write(rest.section(' ', 0, 0), rest.section(' ', 1, 1),
                                       rest.section(' ', 2)));
            } else if (word == QLatin1String("write")) { // SECTION KEY VALUE, then a fresh load
                f.store->write(rest.section(' ', 0, 0), rest.section(' ', 1, 1),
                               rest.section(' ', 2));
                f.reload();
                rebuild();
            } else {
                QStringList lowest;
                for (int r = 0; r < f.ctx->groups.count(); ++r)
                    lowest << f.ctx->groups.text(r, GroupTable::Lowest);
                const QString s = rest.section(' ', 0, 0), k = rest.section(' ', 1, 1);
                const QHash<QString, QString> seen = {
                    {"rows", f.names().join(' ')},
                    {"count", QString::number(f.ctx->groups.count())},
                    {"selected", QString::number(f.ctx->selectedGroup)},
                    {"dialogs", QString::number(dialogs)},
                    {"lowest", lowest.replaceInStrings(QRegularExpression("^$"), "-").join(' ')},
                    {"value", s + ' ' + k + ' ' +
                                  (f.store->contains(s, k) ? f.store->read(s, k, {}) : "<absent>")},
                    {"dialog", shown().join('|')}, // the group dialog for the selected row
                };
                QVERIFY2(seen.value(word, "<unknown word>") == rest,
                         qPrintable(line + "   but seen: " + seen.value(word)));
            }
        }
    }
};

KAPLO_TEST(TestGroupCommands)
#include "tst_groupcommands.moc"
