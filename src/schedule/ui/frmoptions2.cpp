#include "schedule/ui/frmoptions2.h"

#include "core/appcontext.h"
#include "core/ui/twips.h"
#include "schedule/dialup.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

// Layout in twips: two rows of caption and field, the buttons under them.
constexpr int kMargin = 120;
constexpr int kLabelWidth = 2055;
constexpr int kFieldLeft = kMargin + kLabelWidth + 120;
constexpr int kComboWidth = 2775;
constexpr int kTextWidth = 735;
constexpr int kRowHeight = 300;
constexpr int kRowPitch = 420;
constexpr int kButtonWidth = 1095;
constexpr int kButtonHeight = 375;
constexpr int kClientWidth = kFieldLeft + kComboWidth + kMargin;
constexpr int kButtonsTop = kMargin + 2 * kRowPitch + 120;

} // namespace

frmOptions2::frmOptions2(AppContext &ctx, DialUp &dialUp, QWidget *parent)
    : QDialog(parent), m_dialUp(dialUp), m_options(ctx.settings, ctx.store, ctx.prompter)
{
    // What another program wrote since is shown, and OK does not write older
    // values back over it.
    ctx.reloadIfChangedOnDisk();
    setObjectName(QStringLiteral("frmOptions2"));
    setWindowTitle(QStringLiteral("接続の設定"));

    Label1 = new QLabel(QStringLiteral("接続名"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Twips::rect(kMargin, kMargin, kLabelWidth, kRowHeight));
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    // The list is what the system has; a typed name is stored, not listed.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setGeometry(Twips::rect(kFieldLeft, kMargin, kComboWidth, kRowHeight));
    Label1->setBuddy(Combo1);

    Label2 = new QLabel(QStringLiteral("接続監視ｲﾝﾀｰﾊﾞﾙ(秒)"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(Twips::rect(kMargin, kMargin + kRowPitch, kLabelWidth, kRowHeight));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setMaxLength(5);
    Text1->setGeometry(Twips::rect(kFieldLeft, kMargin + kRowPitch, kTextWidth, kRowHeight));
    Label2->setBuddy(Text1);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setGeometry(Twips::rect(kClientWidth - kMargin - 2 * kButtonWidth - 120, kButtonsTop,
                                   kButtonWidth, kButtonHeight));
    cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(Twips::rect(kClientWidth - kMargin - kButtonWidth, kButtonsTop,
                                       kButtonWidth, kButtonHeight));
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions2::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions2::cmdCancel_Click);

    setFixedSize(Twips::size(kClientWidth, kButtonsTop + kButtonHeight + kMargin));
    Form_Load();
}

void frmOptions2::Form_Load()
{
    const DialUpOptions::Form f = m_options.Form_Load(m_dialUp);
    Combo1->addItems(f.items);
    // After the items: the stored entry shows even when the system no longer
    // lists it.
    Combo1->setEditText(f.combo1);
    Text1->setText(f.text1);
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect area = s->geometry();
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }
}

void frmOptions2::cmdOK_Click()
{
    if (m_options.cmdOK_Click(Combo1->currentText(), Text1->text()))
        accept();
}

void frmOptions2::cmdCancel_Click()
{
    reject();
}
