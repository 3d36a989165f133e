#include "app/ui/form1.h"

#include "app/appcontext.h"
#include "app/ui/frmabout.h"
#include "app/ui/grouplistview.h"
#include "app/ui/twips.h"
#include "app/ui/uifont.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/ui/form3.h"
#include "engine/articleparser.h"
#include "engine/downloadengine.h"
#include "engine/tcpnntpsocket.h"
#include "groups/groupcommands.h"
#include "groups/ui/form2.h"
#include "options/ui/frmoptions.h"
#include "options/ui/frmoptions1.h"
#include "schedule/nmclidialup.h"
#include "schedule/scheduler.h"
#include "schedule/ui/frmoptions2.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

namespace {

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect r)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(r);
    b->setAutoDefault(false);
    return b;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, QRect r)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(r);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// The start-time box is just wide enough for "HH:MM" in the font it was
// laid out for; with a wider font, the margins go and then the size steps
// down until a time fits.
void fitTimeBox(QLineEdit *box)
{
    box->setTextMargins(-2, 0, -2, 0);
    const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
    const int room = box->width() - 2 * frame - 1; // the cursor takes a pixel
    QFont f = box->font();
    while (QFontMetrics(f).horizontalAdvance(QStringLiteral("00:00")) > room && f.pointSizeF() > 6)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    box->setFont(f);
}

// A check box whose caption wraps onto a second line when the box is too
// narrow for it, as Check1's caption needs.
class WrappingCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        const QString caption = opt.text;
        opt.text.clear();
        p.drawControl(QStyle::CE_CheckBox, opt);
        opt.text = caption;
        const QRect textRect = style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
        p.drawItemText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, opt.palette,
                       isEnabled(), caption, QPalette::WindowText);
    }
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

} // namespace

Form1::Form1(AppContext &ctx, const QString &commandLine, QWidget *parent)
    : QMainWindow(parent), m_ctx(ctx),
      m_activation(ctx, {[this] { mnuDir_Click(); }, [this] { mnuServer_Click(); },
                         [this] { Command1_Click(); }})
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KAPLO"));
    UiFont::installFallback();
    setFont(UiFont::msPGothicFont(9));
    buildCore();
    buildControls();
    buildMenus();
    Form_Load(commandLine);
}

Form1::~Form1() = default;

void Form1::buildCore()
{
    // The catalogue window's conversation state and chosen name live for the
    // whole run: made once here and handed to each opening of the window.
    m_catalogueSession = std::make_unique<CatalogueSession>();
    m_groupCommands = std::make_unique<GroupCommands>(m_ctx);
    m_groupCommands->showGroupDialog = [this] {
        Form2 dlg(m_ctx, this);
        dlg.openCatalogue = [this, &dlg](QLineEdit *txtName) {
            Form3 list(m_ctx, *m_catalogueSession, txtName, &dlg);
            list.exec();
        };
        dlg.exec();
    };

    m_winsock1 = std::make_unique<TcpNntpSocket>();
    m_winsock1->setObjectName(QStringLiteral("Winsock1"));
    m_engine = std::make_unique<DownloadEngine>(m_ctx, *m_winsock1);
    m_articleParser = std::make_unique<ArticleParser>(m_ctx, m_engine->state(), m_engine->log());
    m_engine->setArticleHandler(m_articleParser.get());
    connect(m_engine.get(), &DownloadEngine::runningChanged, this, &Form1::setRunning);
    connect(m_engine.get(), &DownloadEngine::statusChanged, this, &Form1::showStatus);
    connect(m_engine.get(), &DownloadEngine::runEnded, this, &Form1::runEnded);
    connect(m_engine.get(), &DownloadEngine::fatalError, this, &Form1::fatalError);

    m_dialUp = std::make_unique<NmcliDialUp>();
    SchedulerHooks hooks;
    hooks.startTimer = [this](int msec) { m_timer1->start(msec); };
    hooks.stopTimer = [this] { m_timer1->stop(); };
    hooks.enableCommand1 = [this](bool on) { m_command1->setEnabled(on); };
    hooks.enableCmdAuto = [this](bool on) { m_cmdAuto->setEnabled(on); };
    hooks.setLabel5 = [this](const QString &text) { m_label5->setText(text); };
    hooks.command1Click = [this] { Command1_Click(); };
    m_scheduler = std::make_unique<Scheduler>(m_ctx.settings, m_ctx.prompter, *m_dialUp, hooks);
}

void Form1::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(Twips::size(11880, 7875));
    setCentralWidget(client);

    // Created in tab order; the labels take no focus.
    m_command2 = button(client, "Command2", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ追加"),
                        Twips::rect(10080, 120, 1695, 375));
    m_command3 = button(client, "Command3", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ削除"),
                        Twips::rect(10080, 600, 1695, 375));
    m_cmdNewsUp = button(client, "cmdNewsUp", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ↑"),
                         Twips::rect(10080, 1200, 1695, 375));
    m_cmdNewsDown = button(client, "cmdNewsDown", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ↓"),
                           Twips::rect(10080, 1680, 1695, 375));
    m_cmdStartNo = button(client, "cmdStartNo", QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ設定"),
                          Twips::rect(10080, 2280, 1695, 375));
    m_command1 = button(client, "Command1", startCaption(), Twips::rect(10080, 2880, 1695, 375));

    m_listView1 = new GroupListView(client);
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setGeometry(Twips::rect(120, 120, 9735, 6615));
    m_listView1->setFont(UiFont::msPGothicFont(9));
    m_listView1->setGroupTable(&m_ctx.groups);

    m_label1 = label(client, "Label1", QString(), Twips::rect(120, 7560, 3615, 255));
    m_label2 = label(client, "Label2", QString(), Twips::rect(3840, 7560, 1695, 255));
    m_label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label3 = label(client, "Label3", QString(), Twips::rect(5640, 7560, 6135, 255));

    m_cmdAuto = button(client, "cmdAuto", QStringLiteral("指定時間に開始"),
                       Twips::rect(10080, 3960, 1695, 375));
    m_text1 = new QLineEdit(QStringLiteral("01:30"), client);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(Twips::rect(10080, 4440, 495, 270));
    m_text1->setMaxLength(5);
    fitTimeBox(m_text1);
    m_label4 =
        label(client, "Label4", QStringLiteral("←例(02:30)"), Twips::rect(10680, 4440, 1095, 255));
    m_label5 = label(client, "Label5", QString(), Twips::rect(10080, 4800, 1695, 375));
    m_label5->setAlignment(Qt::AlignCenter);
    m_label5->setFont(UiFont::msPGothicFont(14.25));
    m_label6 = label(client, "Label6", QString(), Twips::rect(120, 6840, 2895, 255));
    m_label7 = label(client, "Label7", QString(), Twips::rect(3120, 6840, 3135, 255));
    m_label8 = label(client, "Label8", QString(), Twips::rect(120, 7200, 11655, 255));

    m_check1 = new WrappingCheckBox(QStringLiteral("毎日指定時に開始"), client);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_check1->setGeometry(Twips::rect(10080, 5280, 1455, 375));
    m_check1->setChecked(false);
    m_check1->setToolTip(QStringLiteral("毎日指定した時間になるとダウンロードを開始します"));

    QWidget *const order[] = {m_command2, m_command3,  m_cmdNewsUp, m_cmdNewsDown, m_cmdStartNo,
                              m_command1, m_listView1, m_cmdAuto,   m_text1,       m_check1};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));

    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(m_cmdNewsUp, &QPushButton::clicked, this, &Form1::cmdNewsUp_Click);
    connect(m_cmdNewsDown, &QPushButton::clicked, this, &Form1::cmdNewsDown_Click);
    connect(m_cmdStartNo, &QPushButton::clicked, this, &Form1::cmdStartNo_Click);
    connect(m_cmdAuto, &QPushButton::clicked, this, &Form1::cmdAuto_Click);
    connect(m_timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(m_listView1, &GroupListView::itemClicked, this, &Form1::ListView1_ItemClick);
    connect(m_listView1, &GroupListView::itemDoubleClicked, this, &Form1::ListView1_DblClick);
    connect(&m_ctx.groups, &GroupTable::nameEdited, this, &Form1::ListView1_AfterLabelEdit);
}

void Form1::buildMenus()
{
    auto addMenu = [this](const char *name, const QString &caption) {
        QMenu *m = menuBar()->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Action"));
        return m;
    };
    auto addEntry = [this](QMenu *menu, const char *name, const QString &caption,
                           void (Form1::*slot)()) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    QMenu *file = addMenu("mnuFile", QStringLiteral("ﾌｧｲﾙ(&F)"));
    addEntry(file, "mnuExit", QStringLiteral("KAPLOの終了(&X)"), &Form1::mnuExit_Click);
    QMenu *setting = addMenu("mnuSetting", QStringLiteral("設定(&S)"));
    addEntry(setting, "mnuServer", QStringLiteral("ﾆｭｰｽｻｰﾊﾞｰ(&N)"), &Form1::mnuServer_Click);
    addEntry(setting, "mnuDir", QStringLiteral("保存ﾃﾞｨﾚｸﾄﾘ(&D)"), &Form1::mnuDir_Click);
    addEntry(setting, "mnuConnect", QStringLiteral("接続(&C)"), &Form1::mnuConnect_Click);
    QMenu *help = addMenu("mnuHelp", QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    addEntry(help, "mnuVersion", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"), &Form1::mnuVersion_Click);
}

void Form1::Form_Load(const QString &commandLine)
{
    Startup::Form_Load(m_ctx, commandLine);
    adjustSize();
    centreOnScreen();
}

void Form1::centreOnScreen()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect sg = s->geometry();
    move(sg.left() + (sg.width() - width()) / 2, sg.top() + (sg.height() - height()) / 2);
}

// Activation. The checks run when the window is first shown and whenever it
// becomes the program's active window again, which is when the last of the
// program's modal windows (a dialog, a message box) has closed. That moment
// is taken from the program's own windows rather than from the window
// system: window managers differ in whether and when they hand the
// activation back, and coming back from another program must not count.
// The pass is queued so that it runs outside the event that closed the
// window, once no modal window is left.
bool Form1::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::Hide && watched != this && watched->isWidgetType()) {
        const auto *w = static_cast<QWidget *>(watched);
        if (w->isWindow() && w->windowModality() != Qt::NonModal) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (isVisible() && !QApplication::activeModalWidget())
                        Form_Activate();
                },
                Qt::QueuedConnection);
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void Form1::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!m_shownOnce) {
        m_shownOnce = true;
        qApp->installEventFilter(this);
        QMetaObject::invokeMethod(this, &Form1::Form_Activate, Qt::QueuedConnection);
    }
}

void Form1::Form_Activate()
{
    m_activation.activated();
}

// --- the run ---

void Form1::Command1_Click()
{
    m_engine->Command1_Click();
}

void Form1::setRunning(bool running)
{
    m_command1->setText(running ? stopCaption() : startCaption());
    for (QPushButton *b :
         {m_command2, m_command3, m_cmdStartNo, m_cmdNewsUp, m_cmdNewsDown, m_cmdAuto})
        b->setEnabled(!running);
}

void Form1::showStatus()
{
    const RunState &st = m_engine->state();
    m_label1->setText(st.label1);
    m_label2->setText(st.label2());
    m_label3->setText(st.label3);
    m_label6->setText(st.label6);
    m_label7->setText(st.label7);
    m_label8->setText(st.label8);
}

void Form1::runEnded()
{
    if (m_check1->isChecked())
        cmdAuto_Click();
}

void Form1::fatalError(const QString &message)
{
    m_ctx.prompter.message(message);
    QCoreApplication::exit(1);
}

// --- the group list ---

void Form1::Command2_Click()
{
    m_groupCommands->add();
}

void Form1::Command3_Click()
{
    m_groupCommands->deleteGroup();
}

void Form1::cmdNewsUp_Click()
{
    m_groupCommands->moveUp();
}

void Form1::cmdNewsDown_Click()
{
    m_groupCommands->moveDown();
}

void Form1::cmdStartNo_Click()
{
    m_groupCommands->openSettings();
}

void Form1::ListView1_ItemClick(int row)
{
    m_groupCommands->select(row + 1);
}

void Form1::ListView1_DblClick()
{
    m_groupCommands->openSettings();
}

void Form1::ListView1_AfterLabelEdit(int row, const QString &text)
{
    // The table holds the new text already; the edited row is the one named.
    m_groupCommands->rename(row + 1, text);
}

// --- the scheduled start ---

void Form1::cmdAuto_Click()
{
    m_scheduler->cmdAuto_Click(m_text1->text());
}

void Form1::Timer1_Timer()
{
    m_scheduler->Timer1_Timer(QDateTime::currentDateTime(), m_text1->text());
}

// --- menus ---

void Form1::mnuServer_Click()
{
    frmOptions dlg(m_ctx, this);
    dlg.exec();
}

void Form1::mnuDir_Click()
{
    frmOptions1 dlg(m_ctx, this);
    dlg.exec();
}

void Form1::mnuConnect_Click()
{
    frmOptions2 dlg(m_ctx, *m_dialUp, this);
    dlg.exec();
}

void Form1::mnuVersion_Click()
{
    frmAbout dlg(this);
    dlg.exec();
}

void Form1::mnuExit_Click()
{
    QCoreApplication::exit(0);
}
