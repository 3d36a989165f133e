#include "groups/ui/form2.h"

#include "core/appcontext.h"
#include "core/ui/twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {

template <typename W> W *place(W *w, const char *name, int left, int top, int width, int height)
{
    w->setObjectName(QString::fromUtf8(name));
    w->setGeometry(Twips::rect(left, top, width, height));
    return w;
}

// A check or option button laid out 180 twips high is taller in the font it
// is drawn with: it grows to its own height, within the 240 twips between
// rows, around the middle of its designed row.
void fitButtonHeight(QWidget *w)
{
    const int room = Twips::toPixels(240);
    const int h = std::min(std::max(w->height(), w->sizeHint().height()), room);
    if (h <= w->height())
        return;
    QRect r = w->geometry();
    const int centre = r.center().y();
    r.setTop(centre - h / 2);
    r.setHeight(h);
    w->setGeometry(r);
}

} // namespace

Form2::Form2(AppContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟの設定"));
    setFixedSize(Twips::size(6135, 3795));
    setModal(true);

    m_label1 =
        place(new QLabel(QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ名"), this), "Label1", 120, 120, 1215, 255);
    m_txtName = place(new QLineEdit(this), "txtName", 1440, 120, 4215, 270);
    m_txtName->setToolTip(QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟの名前を設定します"));
    m_label2 =
        place(new QLabel(QStringLiteral("次回取込番号"), this), "Label2", 120, 480, 1215, 255);
    m_text1 = place(new QLineEdit(this), "Text1", 1440, 480, 1455, 270);
    m_text1->setToolTip(QStringLiteral("最初から取り込む場合は空欄にしてください数値が設定されて"
                                       "いる場合は次回の取込番号です"));
    m_cmdList = place(new QPushButton(QStringLiteral("一覧から設定"), this), "cmd一覧", 4200, 480,
                      1455, 375);
    m_cmdList->setToolTip(QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ名を一覧から設定します"));
    m_cmdList->setAutoDefault(false);

    m_check4 =
        place(new QCheckBox(QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞの対象"), this), "Check4", 120, 960, 2415, 180);
    m_check1 = place(new QCheckBox(QStringLiteral("ﾌｧｲﾙ名の前に題名を付ける"), this), "Check1", 120,
                     1200, 3255, 180);
    m_check2 = place(new QCheckBox(QStringLiteral("日付別にﾃﾞｨﾚｸﾄﾘを作成"), this), "Check2", 120,
                     1440, 3255, 180);
    m_check3 = place(new QCheckBox(QStringLiteral("投稿者名別にﾃﾞｨﾚｸﾄﾘを作成"), this), "Check3",
                     120, 1680, 3615, 180);

    m_frame1 = place(new QGroupBox(QStringLiteral("重複するﾌｧｲﾙ名の処理"), this), "Frame1", 120,
                     2040, 4215, 975);
    m_option1 =
        place(new QRadioButton(QStringLiteral("上書き"), m_frame1), "Option1", 240, 360, 1095, 180);
    m_option2 = place(new QRadioButton(QStringLiteral("ﾌｧｲﾙ名に番号を自動付与"), m_frame1),
                      "Option2", 240, 600, 2415, 255);

    for (QWidget *w : {static_cast<QWidget *>(m_check4), static_cast<QWidget *>(m_check1),
                       static_cast<QWidget *>(m_check2), static_cast<QWidget *>(m_check3),
                       static_cast<QWidget *>(m_option1)})
        fitButtonHeight(w);

    m_cmdOK = place(new QPushButton(QStringLiteral("OK"), this), "cmdOK", 3480, 3240, 1095, 375);
    m_cmdOK->setDefault(true);
    m_cmdCancel =
        place(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this), "cmdCancel", 4680, 3240, 1095, 375);
    m_cmdCancel->setAutoDefault(false);

    // Tab order: the name, the number, the boxes, the options, OK, Cancel,
    // then the list button.
    const QList<QWidget *> order{m_txtName, m_text1,   m_check4, m_check1,    m_check2, m_check3,
                                 m_option1, m_option2, m_cmdOK,  m_cmdCancel, m_cmdList};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_cmdOK, &QPushButton::clicked, this, &Form2::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &Form2::cmdCancel_Click);
    connect(m_cmdList, &QPushButton::clicked, this, &Form2::cmd一覧_Click);

    Form_Load();
}

void Form2::Form_Load()
{
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect g = s->geometry();
        move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
    setValues(GroupDialog::load(m_ctx));
    m_txtName->setFocus();
}

GroupDialog::Values Form2::values() const
{
    GroupDialog::Values v;
    v.name = m_txtName->text();
    v.last = m_text1->text();
    // Only a ticked box counts, never a partly ticked one.
    v.download = m_check4->checkState() == Qt::Checked;
    v.subject = m_check1->checkState() == Qt::Checked;
    v.dateDir = m_check2->checkState() == Qt::Checked;
    v.userDir = m_check3->checkState() == Qt::Checked;
    v.overwrite = m_option1->isChecked();
    return v;
}

void Form2::setValues(const GroupDialog::Values &v)
{
    m_txtName->setText(v.name);
    m_text1->setText(v.last);
    m_check4->setCheckState(v.download ? Qt::Checked : Qt::Unchecked);
    m_check1->setCheckState(v.subject ? Qt::Checked : Qt::Unchecked);
    m_check2->setCheckState(v.dateDir ? Qt::Checked : Qt::Unchecked);
    m_check3->setCheckState(v.userDir ? Qt::Checked : Qt::Unchecked);
    m_option1->setChecked(v.overwrite);
    m_option2->setChecked(!v.overwrite);
}

void Form2::cmdOK_Click()
{
    // A refused number or an unwritable store keeps the dialog open. With no
    // group chosen any more (the list was read again from the file) what the
    // dialog shows is gone: it closes.
    if (GroupDialog::accept(m_ctx, values()))
        accept();
    else if (m_ctx.selectedGroup == 0)
        reject();
}

void Form2::cmdCancel_Click()
{
    reject();
}

void Form2::cmd一覧_Click()
{
    if (openCatalogue)
        openCatalogue(m_txtName);
}
