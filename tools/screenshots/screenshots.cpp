#include "screenshots/screenshots.h"

#include "app/ui/appicon.h"
#include "app/ui/form1.h"
#include "app/ui/frmabout.h"
#include "app/ui/widgetprompter.h"
#include "catalogue/cataloguechooser.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/ui/form3.h"
#include "core/appcontext.h"
#include "engine/downloadengine.h"
#include "engine/nntpsocket.h"
#include "engine/runsummary.h"
#include "groups/ui/form2.h"
#include "options/ui/frmoptions.h"
#include "options/ui/frmoptions1.h"
#include "schedule/dialup.h"
#include "schedule/ui/frmoptions2.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QWidget>

namespace {

// The connections NetworkManager would list on a machine with a modem, a
// wired and a tethered connection.
class SampleDialUp final : public DialUp {
public:
    QStringList entries() override
    {
        return {QStringLiteral("有線接続 1"), QStringLiteral("ppp-プロバイダ"),
                QStringLiteral("スマートフォン テザリング")};
    }
    qint64 launch(const QString &) override { return 0; }
    bool watch(qint64) override { return true; }
};

// The grabbed window under a plain title bar with its icon and caption, so
// that the picture names the window it shows (offscreen windows have no
// frame of their own).
QImage withTitleBar(QWidget &w)
{
    // Drawn in the window's own units; a scaled screen gives a picture with
    // as many more pixels.
    const QPixmap client = w.grab();
    const qreal dpr = client.devicePixelRatio();
    const QSize size = client.deviceIndependentSize().toSize();
    QFont titleFont = w.font();
    titleFont.setBold(true);
    const QFontMetrics fm(titleFont);
    const int bar = fm.height() + 10;
    const int border = 1;
    QImage out(QSize(size.width() + 2 * border, size.height() + bar + border) * dpr,
               QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(dpr);
    out.fill(QColor(0x4a, 0x55, 0x68));
    QPainter p(&out);
    const QPixmap icon = AppIcon::pixmap(16);
    const int iconTop = (bar - 16) / 2;
    p.drawPixmap(QRect(6, iconTop, 16, 16), icon);
    p.setFont(titleFont);
    p.setPen(Qt::white);
    p.drawText(QRect(6 + 16 + 6, 0, size.width() - 16 - 18, bar), Qt::AlignLeft | Qt::AlignVCenter,
               w.windowTitle());
    p.drawPixmap(QPoint(border, bar), client);
    p.end();
    return out;
}

class Writer {
public:
    Writer(const QString &dir, QString *error) : m_dir(dir), m_error(error) {}

    // Shows the window, lets it lay itself out and saves it as name.png.
    bool save(QWidget &w, const char *name)
    {
        if (m_failed)
            return false;
        w.show();
        QCoreApplication::processEvents();
        const QString path = m_dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        if (!withTitleBar(w).save(path, "PNG")) {
            if (m_error)
                *m_error = QStringLiteral("cannot write ") + path;
            m_failed = true;
            return false;
        }
        w.hide();
        m_written << path;
        return true;
    }

    QStringList written() const { return m_written; }

private:
    QDir m_dir;
    QString *m_error;
    QStringList m_written;
    bool m_failed = false;
};

// A message box as the program shows it (WidgetPrompter::message).
void saveMessage(Writer &out, QWidget *parent, const QString &text, const char *name)
{
    QMessageBox box(QMessageBox::NoIcon, WidgetPrompter::title(), text, QMessageBox::Ok, parent);
    out.save(box, name);
}

} // namespace

QStringList Screenshots::save(Form1 &form, const QString &dir, QString *error)
{
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create ") + dir;
        return {};
    }
    Writer out(dir, error);
    AppContext &ctx = form.context();

    {
        // The window as a finished run leaves it: every row's state and the
        // run's summary.
        RunState &st = form.engine().state();
        const qint64 files = 12, bytes = 3456789;
        st.label6 = DownloadEngine::fileCountCaption(files);
        st.label7 = DownloadEngine::byteCountCaption(bytes);
        st.label8 = RunSummary{RunSummary::End::Finished, QString(), files, bytes, 754000}.text();
        const QString states[] = {DownloadEngine::completeText(), QString(),
                                  DownloadEngine::completeText(),
                                  DownloadEngine::invalidGroupText()};
        for (int r = 0; r < ctx.groups.count() && r < int(std::size(states)); ++r)
            ctx.groups.setText(r, GroupTable::State, states[r]);
        form.showStatus();
    }
    out.save(form, "form1");
    {
        frmAbout about(&form);
        out.save(about, "frmabout");
    }

    // The group dialog for the first row, as the settings button opens it.
    const int selected = ctx.selectedGroup;
    if (ctx.groups.count() > 0)
        ctx.selectedGroup = 1;
    {
        Form2 dlg(ctx, &form);
        out.save(dlg, "form2");
    }
    ctx.selectedGroup = selected;

    // The catalogue window with the catalogue read from newsgroups.dat, and
    // the window as a new-groups fetch that found two groups leaves it.
    {
        CatalogueSession session;
        Form3 list(ctx, session, nullptr, &form);
        const QString added[] = {QStringLiteral("fj.binaries.pictures"),
                                 QStringLiteral("japan.binaries.sounds")};
        for (const QString &name : added)
            list.chooser().addName(name, true);
        list.chooser().flush();
        if (auto *count = list.findChild<QLabel *>(QStringLiteral("Label1")))
            count->setText(QString::number(std::size(added)));
        if (auto *list1 = list.findChild<QListView *>(QStringLiteral("List1"))) {
            const int row = static_cast<int>(list.chooser().list1().count()) / 3;
            list1->setCurrentIndex(list1->model()->index(row, 0));
        }
        out.save(list, "form3");
    }

    {
        frmOptions dlg(ctx, &form);
        out.save(dlg, "frmoptions");
    }
    {
        frmOptions1 dlg(ctx, &form);
        out.save(dlg, "frmoptions1");
    }
    {
        SampleDialUp dialUp;
        frmOptions2 dlg(ctx, dialUp, &form);
        out.save(dlg, "frmoptions2");
    }

    // What the first start asks for, and the log-mode question.
    saveMessage(out, &form, QStringLiteral("保存ﾃﾞｨﾚｸﾄﾘが設定されていないか正しくありません"),
                "msg-savedir");
    saveMessage(out, &form, QStringLiteral("ﾆｭｰｽｻｰﾊﾞｰが設定されていません"), "msg-server");
    {
        // As WidgetPrompter::input asks "LOG=L".
        QInputDialog dlg(&form);
        WidgetPrompter::setUpInput(dlg, QStringLiteral("LOG=L"), QStringLiteral("X"));
        out.save(dlg, "logprompt");
    }
    return out.written();
}
