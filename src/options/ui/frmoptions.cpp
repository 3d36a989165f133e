#include "options/ui/frmoptions.h"

#include "core/appcontext.h"
#include "core/ui/twips.h"
#include "options/serveroptions.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

// Layout in twips. Rows of caption and field from the top; the buttons sit
// under the last row, so further rows push them down.
constexpr int kMargin = 120;
constexpr int kLabelWidth = 2415;
constexpr int kFieldLeft = kMargin + kLabelWidth + 120;
constexpr int kFieldWidth = 3015;
constexpr int kRowHeight = 270;
constexpr int kRowPitch = 390;
constexpr int kButtonWidth = 1095;
constexpr int kButtonHeight = 375;
constexpr int kClientWidth = kFieldLeft + kFieldWidth + kMargin;

} // namespace

frmOptions::frmOptions(AppContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("ﾆｭｰｽ ｻｰﾊﾞｰの設定"));

    Label1 = new QLabel(QStringLiteral("ﾆｭｰｽ ｻｰﾊﾞｰ名:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Label1->setBuddy(Text1);
    addRow(Label1, Text1, kFieldWidth);

    Label2 = new QLabel(QStringLiteral("ﾆｭｰｽ ｻｰﾊﾞｰのﾎﾟｰﾄ番号:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Label2->setBuddy(Text2);
    addRow(Label2, Text2, 1095);

    // The timeout sits on the port's row, right of the port.
    Label5 = new QLabel(QStringLiteral("ﾀｲﾑｱｳﾄ(秒):"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Text5 = new QLineEdit(this);
    Text5->setObjectName(QStringLiteral("Text5"));
    Label5->setBuddy(Text5);
    {
        const int top = kMargin + (m_rows - 1) * kRowPitch;
        Label5->setGeometry(Twips::rect(kFieldLeft + 1095 + 120, top, 1100, kRowHeight));
        Text5->setGeometry(Twips::rect(kFieldLeft + kFieldWidth - 600, top, 600, kRowHeight));
    }

    // Secure and authenticated servers.
    Check1 = new QCheckBox(QStringLiteral("SSL/TLSで接続する (通常ポート563)"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    addWideRow(Check1);

    Label6 = new QLabel(QStringLiteral("追加の認証局(PEMファイル):"), this);
    Label6->setObjectName(QStringLiteral("Label6"));
    Text6 = new QLineEdit(this);
    Text6->setObjectName(QStringLiteral("Text6"));
    Label6->setBuddy(Text6);
    addRow(Label6, Text6, kFieldWidth);

    Label3 = new QLabel(QStringLiteral("ユーザー名:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Text3 = new QLineEdit(this);
    Text3->setObjectName(QStringLiteral("Text3"));
    Label3->setBuddy(Text3);
    addRow(Label3, Text3, kFieldWidth);

    Label4 = new QLabel(QStringLiteral("パスワード:"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Text4 = new QLineEdit(this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setEchoMode(QLineEdit::Password);
    Label4->setBuddy(Text4);
    addRow(Label4, Text4, kFieldWidth);

    Check2 = new QCheckBox(QStringLiteral("MODE READERを送る"), this);
    Check2->setObjectName(QStringLiteral("Check2"));
    addWideRow(Check2);

    const int buttonsTop = kMargin + m_rows * kRowPitch + 120;
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setGeometry(Twips::rect(kClientWidth - kMargin - 2 * kButtonWidth - 120, buttonsTop,
                                   kButtonWidth, kButtonHeight));
    cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(Twips::rect(kClientWidth - kMargin - kButtonWidth, buttonsTop,
                                       kButtonWidth, kButtonHeight));
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);

    setFixedSize(Twips::size(kClientWidth, buttonsTop + kButtonHeight + kMargin));
    Form_Load();
}

void frmOptions::addRow(QLabel *label, QWidget *field, int fieldWidthTwips)
{
    const int top = kMargin + m_rows * kRowPitch;
    label->setGeometry(Twips::rect(kMargin, top, kLabelWidth, kRowHeight));
    field->setGeometry(Twips::rect(kFieldLeft, top, fieldWidthTwips, kRowHeight));
    ++m_rows;
}

void frmOptions::addWideRow(QWidget *field)
{
    const int top = kMargin + m_rows * kRowPitch;
    field->setGeometry(Twips::rect(kMargin, top, kClientWidth - 2 * kMargin, kRowHeight));
    ++m_rows;
}

void frmOptions::Form_Load()
{
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect area = s->geometry();
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }
    // What another program wrote since is shown, and OK does not write older
    // values back over it.
    m_ctx.reloadIfChangedOnDisk();
    const ServerOptions o = ServerOptions::fromRunning(m_ctx.settings);
    Text1->setText(o.serverName);
    Text2->setText(o.serverPort);
    Text5->setText(o.timeout);
    Check1->setChecked(o.ssl);
    Text6->setText(o.caFile);
    Text3->setText(o.user);
    Text4->setText(o.pass);
    Check2->setChecked(o.modeReader);
}

void frmOptions::cmdOK_Click()
{
    ServerOptions o;
    o.serverName = Text1->text();
    o.serverPort = Text2->text();
    o.ssl = Check1->isChecked();
    o.user = Text3->text();
    o.pass = Text4->text();
    o.modeReader = Check2->isChecked();
    o.timeout = Text5->text();
    o.caFile = Text6->text();
    if (const auto refusal = o.validate()) {
        m_ctx.prompter.message(*refusal);
        (ServerOptions::validTimeout(o.timeout) ? Text6 : Text5)->setFocus();
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

void frmOptions::cmdCancel_Click()
{
    reject();
}
