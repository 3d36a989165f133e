#include "app/ui/frmabout.h"

#include "app/ui/appicon.h"
#include "core/ui/twips.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

QLineEdit *readOnlyLine(QWidget *parent, const char *name, const QString &text)
{
    auto *e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    // Button-face background, as a read-only text of a dialog.
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    e->setPalette(pal);
    e->setCursorPosition(0);
    return e;
}

} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setFixedSize(Twips::size(5730, 2115));

    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setGeometry(Twips::rect(240, 240, 540, 540));
    m_picIcon->setAlignment(Qt::AlignCenter);
    m_picIcon->setPixmap(AppIcon::pixmap(32));

    m_lblTitle = new QLabel(this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setGeometry(Twips::rect(1050, 240, 3885, 480));
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);

    m_lblVersion = new QLabel(this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblVersion->setGeometry(Twips::rect(1050, 780, 3885, 225));

    m_text2 = readOnlyLine(this, "Text2", contactLine());
    m_text2->setGeometry(Twips::rect(1080, 1320, 3135, 270));
    m_text1 = readOnlyLine(this, "Text1", webAddress());
    m_text1->setGeometry(Twips::rect(1080, 1680, 3135, 270));

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(Twips::rect(4320, 1680, 1310, 345));
    m_cmdOK->setDefault(true);
    m_cmdOK->setAutoDefault(true);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    m_cmdOK->setFocus();

    Form_Load();
}

QString frmAbout::versionLine()
{
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + QString::number(Major) + QLatin1Char('.') +
           QString::number(Minor) + QLatin1Char('.') + QString::number(Revision);
}

void frmAbout::Form_Load()
{
    setWindowTitle(applicationTitle() + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
    m_lblVersion->setText(versionLine());
    m_lblTitle->setText(applicationTitle());

    if (const QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect sg = s->geometry();
        move(sg.left() + (sg.width() - width()) / 2, sg.top() + (sg.height() - height()) / 2);
    }
}

void frmAbout::cmdOK_Click()
{
    // Esc reaches the dialog's own reject(), which closes it the same way.
    accept();
}
