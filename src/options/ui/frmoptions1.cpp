#include "options/ui/frmoptions1.h"

#include "core/appcontext.h"
#include "core/ui/twips.h"
#include "options/saveoptions.h"
#include "options/ui/dirlistbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStorageInfo>

#include <algorithm>

namespace {

constexpr int kClientWidth = 7095;
constexpr int kClientHeight = 5715;

template <typename W, typename... Args> W *make(QWidget *parent, const char *name, Args &&...args)
{
    auto *w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

frmOptions1::frmOptions1(AppContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmOptions1"));
    setWindowTitle(QStringLiteral("保存ﾃﾞｨﾚｸﾄﾘの設定"));
    setFixedSize(Twips::size(kClientWidth, kClientHeight));

    // Created in tab order.
    Drive1 = make<QComboBox>(this, "Drive1");
    Drive1->setGeometry(Twips::rect(120, 120, 3255, 315));
    Dir1 = make<DirListBox>(this, "Dir1");
    Dir1->setGeometry(Twips::rect(120, 495, 3255, 2730));

    Check1 = make<QCheckBox>(this, "Check1", QStringLiteral("日付別にﾃﾞｨﾚｸﾄﾘを作成"));
    Check1->setGeometry(Twips::rect(3600, 120, 3375, 255));
    Check2 = make<QCheckBox>(this, "Check2", QStringLiteral("投稿者の名前でﾃﾞｨﾚｸﾄﾘ作成"));
    Check2->setGeometry(Twips::rect(3600, 435, 3375, 255));
    Check3 = make<QCheckBox>(this, "Check3", QStringLiteral("ﾛｸﾞﾌｧｲﾙの作成"));
    Check3->setGeometry(Twips::rect(3600, 750, 3375, 255));
    Check4 = make<QCheckBox>(this, "Check4", QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ別にﾃﾞｨﾚｸﾄﾘ作成"));
    Check4->setGeometry(Twips::rect(3600, 1065, 3375, 255));

    Frame1 = make<QGroupBox>(this, "Frame1", QStringLiteral("重複するﾌｧｲﾙ名の処理"));
    Frame1->setGeometry(Twips::rect(3600, 1560, 3375, 1035));
    Option1 = make<QRadioButton>(Frame1, "Option1", QStringLiteral("上書き"));
    Option1->setGeometry(Twips::rect(240, 360, 2895, 255));
    Option2 = make<QRadioButton>(Frame1, "Option2", QStringLiteral("ﾌｧｲﾙ名に番号を自動付与"));
    Option2->setGeometry(Twips::rect(240, 660, 2895, 255));

    // One row per limit, each box beside its option.
    Frame2 =
        make<QGroupBox>(this, "Frame2", QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞの制限(指定した値を超えたら停止)"));
    Frame2->setGeometry(Twips::rect(120, 3360, 6855, 1695));
    Option3 = make<QRadioButton>(Frame2, "Option3", QStringLiteral("なし"));
    Option3->setGeometry(Twips::rect(240, 330, 3135, 255));
    Option4 = make<QRadioButton>(Frame2, "Option4", QStringLiteral("時間指定"));
    Option4->setGeometry(Twips::rect(240, 660, 3135, 255));
    Text1 = make<QLineEdit>(Frame2, "Text1");
    Text1->setGeometry(Twips::rect(3480, 645, 855, 285));
    Label1 = make<QLabel>(Frame2, "Label1", QStringLiteral("時間"));
    Label1->setGeometry(Twips::rect(4440, 660, 735, 255));
    Option5 = make<QRadioButton>(Frame2, "Option5", QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞのﾌｧｲﾙ数"));
    Option5->setGeometry(Twips::rect(240, 990, 3135, 255));
    Text2 = make<QLineEdit>(Frame2, "Text2");
    Text2->setGeometry(Twips::rect(3480, 975, 855, 285));
    Option6 = make<QRadioButton>(Frame2, "Option6", QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞしたﾄｰﾀﾙﾌｧｲﾙｻｲｽﾞ"));
    Option6->setGeometry(Twips::rect(240, 1320, 3135, 255));
    Text3 = make<QLineEdit>(Frame2, "Text3");
    Text3->setGeometry(Twips::rect(3480, 1305, 855, 285));
    Label2 = make<QLabel>(Frame2, "Label2", QStringLiteral("MB"));
    Label2->setGeometry(Twips::rect(4440, 1320, 735, 255));

    cmdOK = make<QPushButton>(this, "cmdOK", QStringLiteral("OK"));
    cmdOK->setGeometry(Twips::rect(4560, 5220, 1095, 375));
    cmdOK->setDefault(true);
    cmdCancel = make<QPushButton>(this, "cmdCancel", QStringLiteral("ｷｬﾝｾﾙ"));
    cmdCancel->setGeometry(Twips::rect(5880, 5220, 1095, 375));

    // Radio buttons start with none selected, which is how an unknown stored
    // limit shows; they are exclusive within their frame.

    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmOptions1::Drive1_Change);
    connect(Dir1, &DirListBox::pathChanged, this, [this](const QString &p) { showDriveOf(p); });
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions1::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions1::cmdCancel_Click);

    // The texts the boxes start with; loading replaces them with the running
    // values.
    Text1->setText(QStringLiteral("06:00"));
    Text2->setText(QStringLiteral("500"));
    Text3->setText(QStringLiteral("50"));

    // Where the lists start before the stored directory is opened.
    fillDrives();
    Dir1->setPath(QDir::homePath());

    Form_Load();
}

void frmOptions1::fillDrives()
{
    QStringList roots;
    for (const QStorageInfo &v : QStorageInfo::mountedVolumes()) {
        // Containers mount single files too; only folders can be opened.
        if (v.isValid() && v.isReady() && QFileInfo(v.rootPath()).isDir() &&
            !roots.contains(v.rootPath()))
            roots << v.rootPath();
    }
    const QString top = QDir::rootPath();
    roots.removeAll(top);
    std::sort(roots.begin(), roots.end());
    roots.prepend(top);
    const QSignalBlocker block(Drive1);
    Drive1->clear();
    for (const QString &r : roots)
        Drive1->addItem(QDir::toNativeSeparators(r), r);
}

bool frmOptions1::showDriveOf(const QString &dir)
{
    const QStorageInfo volume(dir);
    if (!volume.isValid())
        return false;
    const int i = Drive1->findData(volume.rootPath());
    if (i < 0)
        return false;
    const QSignalBlocker block(Drive1);
    Drive1->setCurrentIndex(i);
    return true;
}

void frmOptions1::Form_Load()
{
    // What another program wrote since is shown, and OK does not write older
    // values back over it.
    m_ctx.reloadIfChangedOnDisk();
    const SaveOptions o = SaveOptions::fromRunning(m_ctx.settings);

    // 1. Drive, then directory. A directory that is gone leaves both lists
    // where they started.
    const QStorageInfo volume(o.dir);
    if (volume.isValid() && QFileInfo(o.dir).isDir()) {
        const int i = Drive1->findData(volume.rootPath());
        if (i >= 0 && i != Drive1->currentIndex())
            Drive1->setCurrentIndex(i); // Drive1_Change opens the volume's root
    }
    Dir1->setPath(o.dir);

    // 2. Flags: ticked only when on.
    Check1->setChecked(o.dateDir);
    Check2->setChecked(o.userDir);
    Check4->setChecked(o.groupDir);
    Check3->setChecked(o.log);

    // 3. Duplicate names.
    (o.rewrite ? Option1 : Option2)->setChecked(true);

    // 4. Limit; an unknown value selects none.
    switch (o.limit) {
    case SaveOptions::Limit::None:
        Option3->setChecked(true);
        break;
    case SaveOptions::Limit::Time:
        Option4->setChecked(true);
        break;
    case SaveOptions::Limit::Files:
        Option5->setChecked(true);
        break;
    case SaveOptions::Limit::Size:
        Option6->setChecked(true);
        break;
    case SaveOptions::Limit::Unselected:
        break;
    }

    // 5. Limit boxes.
    Text1->setText(o.seigenTime);
    Text2->setText(o.seigenFile);
    Text3->setText(o.seigenSize);

    // 6. Centre on the screen.
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect area = s->geometry();
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }
}

void frmOptions1::Drive1_Change()
{
    const QString root = Drive1->currentData().toString();
    if (!Dir1->setPath(root)) {
        // A volume that cannot be read: stay where the directory list is.
        showDriveOf(Dir1->path());
    }
}

SaveOptions frmOptions1::values() const
{
    SaveOptions o;
    o.dir = Dir1->path();
    // A box counts as ticked only when fully checked.
    o.dateDir = Check1->checkState() == Qt::Checked;
    o.userDir = Check2->checkState() == Qt::Checked;
    o.log = Check3->checkState() == Qt::Checked;
    o.groupDir = Check4->checkState() == Qt::Checked;
    o.rewrite = !Option2->isChecked();
    if (Option3->isChecked())
        o.limit = SaveOptions::Limit::None;
    else if (Option4->isChecked())
        o.limit = SaveOptions::Limit::Time;
    else if (Option5->isChecked())
        o.limit = SaveOptions::Limit::Files;
    else if (Option6->isChecked())
        o.limit = SaveOptions::Limit::Size;
    o.seigenTime = Text1->text();
    o.seigenFile = Text2->text();
    o.seigenSize = Text3->text();
    return o;
}

void frmOptions1::cmdOK_Click()
{
    const SaveOptions o = values();
    if (const auto message = o.validate()) {
        m_ctx.prompter.message(*message);
        return;
    }
    QString error;
    if (!o.apply(m_ctx.settings, m_ctx.store, &error)) {
        // Nothing changed; the user may try again or cancel.
        m_ctx.prompter.message(error);
        return;
    }
    accept();
}

void frmOptions1::cmdCancel_Click()
{
    reject();
}
