#include "app/ui/form1.h"

#include "app/ui/appicon.h"
#include "app/ui/frmabout.h"
#include "app/ui/grouplistview.h"
#include "app/ui/uifont.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/ui/form3.h"
#include "core/appcontext.h"
#include "core/ui/twips.h"
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
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

namespace {

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
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

// The client area: lays its controls out whenever its size changes.
class Client final : public QWidget {
public:
    Client(QWidget *parent, std::function<void(QSize)> layout)
        : QWidget(parent), m_layout(std::move(layout))
    {
    }
    QSize sizeHint() const override { return Form1::designClientSize(); }

protected:
    void resizeEvent(QResizeEvent *) override { m_layout(size()); }

private:
    std::function<void(QSize)> m_layout;
};

// The largest size up to `points` at which the label's text fits its box,
// wrapped at word boundaries when one line is too long.
void fitLabelText(QLabel *label, qreal points)
{
    QFont f = label->font();
    f.setPointSizeF(points);
    const QRect box(QPoint(), label->size());
    while (f.pointSizeF() > 7 && !box.contains(QFontMetrics(f).boundingRect(
                                     box, Qt::TextWordWrap | Qt::AlignCenter, label->text())))
        f.setPointSizeF(f.pointSizeF() - 0.75);
    label->setFont(f);
}

const QString kWindow = QStringLiteral("WINDOW");
const QString kColumnWidths = QStringLiteral("COLUMNWIDTHS");

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

Form1::~Form1()
{
    if (m_saveWidths && m_saveWidths->isActive())
        saveColumnWidths();
}

QSize Form1::designClientSize()
{
    return Twips::size(11880, 7875);
}

QSize Form1::minimumClientSize()
{
    // Narrower, the status lines shrink in proportion; lower, the scheduled
    // start's controls close up under Command1 and the list gets shorter.
    return Twips::size(8400, 6210);
}

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
    hooks.setLabel5 = [this](const QString &text) { setLabel5(text); };
    hooks.setCmdAutoCaption = [this](const QString &text) { m_cmdAuto->setText(text); };
    hooks.command1Click = [this] {
        const QScopedValueRollback scheduled(m_scheduledStart, true);
        Command1_Click();
    };
    hooks.runStarted = [this] { return m_engine->running(); };
    hooks.log = [this](const QString &line) {
        std::fprintf(stderr, "kaplo: %s: %s\n", qPrintable(line),
                     qPrintable(m_engine->state().label3));
    };
    m_scheduler = std::make_unique<Scheduler>(m_ctx.settings, m_ctx.prompter, *m_dialUp, hooks);
}

void Form1::buildControls()
{
    auto *client = new Client(this, [this](QSize size) { layoutControls(size); });
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(minimumClientSize());
    setCentralWidget(client);
    const auto place = [this](QWidget *w, QRect twips, Placed::Anchor anchor) {
        w->setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
        m_placed.push_back({w, twips, anchor});
    };

    // Created in tab order; the labels take no focus.
    m_command2 = button(client, "Command2", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ追加"));
    place(m_command2, {10080, 120, 1695, 375}, Placed::Right);
    m_command3 = button(client, "Command3", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ削除"));
    place(m_command3, {10080, 600, 1695, 375}, Placed::Right);
    m_cmdNewsUp = button(client, "cmdNewsUp", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ↑"));
    place(m_cmdNewsUp, {10080, 1200, 1695, 375}, Placed::Right);
    m_cmdNewsDown = button(client, "cmdNewsDown", QStringLiteral("ﾆｭｰｽ ｸﾞﾙｰﾌﾟ↓"));
    place(m_cmdNewsDown, {10080, 1680, 1695, 375}, Placed::Right);
    m_cmdStartNo = button(client, "cmdStartNo", QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ設定"));
    place(m_cmdStartNo, {10080, 2280, 1695, 375}, Placed::Right);
    m_command1 = button(client, "Command1", startCaption());
    place(m_command1, {10080, 2880, 1695, 375}, Placed::Right);

    m_listView1 = new GroupListView(client);
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    place(m_listView1, {120, 120, 9735, 6615}, Placed::List);
    m_listView1->setFont(UiFont::msPGothicFont(9));
    m_listView1->setGroupTable(&m_ctx.groups);
    {
        QList<int> widths;
        for (const QString &w : m_ctx.store.read(kWindow, kColumnWidths, QString())
                                    .split(QLatin1Char(','), Qt::SkipEmptyParts))
            widths << w.trimmed().toInt();
        m_listView1->restoreColumnWidths(widths);
    }

    m_label1 = label(client, "Label1", QString());
    place(m_label1, {120, 7560, 3615, 255}, Placed::Bottom);
    m_label2 = label(client, "Label2", QString());
    place(m_label2, {3840, 7560, 1695, 255}, Placed::Bottom);
    m_label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label3 = label(client, "Label3", QString());
    place(m_label3, {5640, 7560, 6135, 255}, Placed::BottomStretch);

    m_cmdAuto = button(client, "cmdAuto", Scheduler::armCaption());
    place(m_cmdAuto, {10080, 3960, 1695, 375}, Placed::RightLow);
    m_text1 = new QLineEdit(QStringLiteral("01:30"), client);
    m_text1->setObjectName(QStringLiteral("Text1"));
    place(m_text1, {10080, 4440, 495, 270}, Placed::RightLow);
    m_text1->setMaxLength(5);
    fitTimeBox(m_text1);
    m_label4 = label(client, "Label4", QStringLiteral("←例(02:30)"));
    place(m_label4, {10680, 4440, 1095, 255}, Placed::RightLow);
    m_label5 = label(client, "Label5", QString());
    place(m_label5, {10080, 4800, 1695, 375}, Placed::RightLow);
    m_label5->setAlignment(Qt::AlignCenter);
    m_label5->setWordWrap(true);
    m_label5->setFont(UiFont::msPGothicFont(14.25));
    m_label6 = label(client, "Label6", QString());
    place(m_label6, {120, 6840, 2895, 255}, Placed::Bottom);
    m_label7 = label(client, "Label7", QString());
    place(m_label7, {3120, 6840, 3135, 255}, Placed::Bottom);
    m_label8 = label(client, "Label8", QString());
    place(m_label8, {120, 7200, 11655, 255}, Placed::BottomStretch);

    // The article being received and the transfer rate.
    m_progress1 = new QProgressBar(client);
    m_progress1->setObjectName(QStringLiteral("Progress1"));
    m_progress1->setRange(0, 1000);
    m_progress1->setValue(0);
    m_progress1->setTextVisible(false);
    place(m_progress1, {6360, 6870, 3495, 195}, Placed::BottomStretch);
    m_lblRate = label(client, "lblRate", QString());
    m_lblRate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    place(m_lblRate, {9960, 6840, 1815, 255}, Placed::BottomRight);

    m_check1 = new WrappingCheckBox(QStringLiteral("毎日指定時に開始"), client);
    m_check1->setObjectName(QStringLiteral("Check1"));
    place(m_check1, {10080, 5280, 1455, 375}, Placed::RightLow);
    m_check1->setChecked(false);
    m_check1->setToolTip(QStringLiteral("毎日指定した時間になるとダウンロードを開始します"));

    QWidget *const order[] = {m_command2, m_command3,  m_cmdNewsUp, m_cmdNewsDown, m_cmdStartNo,
                              m_command1, m_listView1, m_cmdAuto,   m_text1,       m_check1};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_rateTimer = new QTimer(this);
    m_rateTimer->setInterval(1000);
    connect(m_rateTimer, &QTimer::timeout, this, &Form1::showRate);
    m_saveWidths = new QTimer(this);
    m_saveWidths->setSingleShot(true);
    m_saveWidths->setInterval(500);
    connect(m_saveWidths, &QTimer::timeout, this, &Form1::saveColumnWidths);
    connect(m_listView1, &GroupListView::columnWidthsChanged, m_saveWidths,
            qOverload<>(&QTimer::start));
    connect(m_listView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &Form1::currentRowChanged);

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

void Form1::layoutControls(QSize client)
{
    const QSize design = designClientSize();
    const int dx = client.width() - design.width();
    const int dy = client.height() - design.height();
    // Lower than designed: the scheduled start's controls close up under
    // Command1 (at most by the gap between them) before the list gets shorter.
    const int lift = dy < 0 ? std::min(-dy, Twips::toPixels(600)) : 0;
    // Narrower than designed: the status lines shrink in proportion.
    const qreal scale =
        dx < 0 ? static_cast<qreal>(client.width()) / std::max(1, design.width()) : 1.0;
    for (const Placed &p : m_placed) {
        QRect r = Twips::rect(p.design.x(), p.design.y(), p.design.width(), p.design.height());
        switch (p.anchor) {
        case Placed::Fixed:
            break;
        case Placed::Right:
            r.translate(dx, 0);
            break;
        case Placed::RightLow:
            r.translate(dx, -lift);
            break;
        case Placed::List:
            r.setSize(r.size() + QSize(dx, dy));
            break;
        case Placed::Bottom:
        case Placed::BottomStretch:
        case Placed::BottomRight:
            r.translate(0, dy);
            if (dx < 0) {
                r.setLeft(qRound(r.left() * scale));
                r.setWidth(qRound(Twips::toPixels(p.design.width()) * scale));
            } else if (p.anchor == Placed::BottomStretch) {
                r.setWidth(r.width() + dx);
            } else if (p.anchor == Placed::BottomRight) {
                r.translate(dx, 0);
            }
            break;
        }
        p.widget->setGeometry(r);
    }
    if (m_label5)
        fitLabelText(m_label5, 14.25);
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
    // The designed size; a screen too small for it (a laptop at 150 %) gets
    // a window that fits it, title bar included.
    QSize size = sizeHint();
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QSize room = s->availableGeometry().size() - QSize(0, 40);
        size = size.boundedTo(room).expandedTo(minimumSizeHint());
    }
    resize(size);
    centreOnScreen();
}

void Form1::centreOnScreen()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect sg = s->availableGeometry();
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
    if (running) {
        // The end of a run nobody is watching is told on the desktop.
        m_notifyAtEnd = isMinimized() || m_scheduledStart;
        m_rate.reset();
        m_clock.start();
        m_rateTimer->start();
    } else {
        m_rateTimer->stop();
    }
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
    // An article cut off by the end of the run is not in progress.
    const int permille = m_engine->running() ? RunProgress::articlePermille(st) : 0;
    if (permille < 0) {
        m_progress1->setRange(0, 0); // an article of unknown length
    } else {
        m_progress1->setRange(0, 1000);
        m_progress1->setValue(permille);
    }
    if (m_engine->running())
        m_rate.sample(m_engine->receivedBytes(), m_clock.elapsed());
    showRate();
}

void Form1::showRate()
{
    if (m_engine->running()) {
        if (!m_rateTimer->isActive())
            m_rate.sample(m_engine->receivedBytes(), m_clock.elapsed());
        m_lblRate->setText(RunProgress::rateText(m_rate.bytesPerSecond()));
    } else {
        m_lblRate->clear();
    }
}

void Form1::runEnded()
{
    showStatus();
    if (m_notifyAtEnd)
        notifyRunEnd(m_engine->lastRun());
    m_notifyAtEnd = false;
    if (m_check1->isChecked())
        m_scheduler->arm(m_text1->text());
}

void Form1::notifyRunEnd(const RunSummary &summary)
{
    m_lastNotification = summary.text();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(AppIcon::icon(), this);
        m_tray->setToolTip(QStringLiteral("KAPLO"));
        connect(m_tray, &QSystemTrayIcon::activated, this, [this] {
            showNormal();
            activateWindow();
        });
    }
    m_tray->show();
    m_tray->showMessage(QStringLiteral("KAPLO"), m_lastNotification,
                        summary.end == RunSummary::End::Error ? QSystemTrayIcon::Warning
                                                              : QSystemTrayIcon::Information);
}

void Form1::fatalError(const QString &message)
{
    m_ctx.prompter.message(message);
    QCoreApplication::exit(1);
}

// --- the group list ---

template <class F> void Form1::groupCommand(F f)
{
    {
        // Rows removed and inserted on the way move the view's current row;
        // only the command's own result counts.
        const QScopedValueRollback syncing(m_syncingSelection, true);
        f();
    }
    showSelection();
}

void Form1::showSelection()
{
    const QScopedValueRollback syncing(m_syncingSelection, true);
    QItemSelectionModel *sm = m_listView1->selectionModel();
    const int row = m_ctx.selectedGroup - 1;
    if (row < 0 || row >= m_ctx.groups.count()) {
        sm->clear();
        return;
    }
    const QModelIndex index = m_ctx.groups.index(row, 0);
    sm->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_listView1->scrollTo(index);
}

// However the current row changes (mouse, arrow keys, Home/End, a letter),
// SelectedGroup follows it and the row is highlighted, so the buttons act on
// the row the user sees.
void Form1::currentRowChanged(const QModelIndex &current)
{
    if (m_syncingSelection || !current.isValid())
        return;
    m_groupCommands->select(current.row() + 1);
    const QScopedValueRollback syncing(m_syncingSelection, true);
    m_listView1->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
}

void Form1::Command2_Click()
{
    groupCommand([this] { m_groupCommands->add(); });
}

void Form1::Command3_Click()
{
    groupCommand([this] { m_groupCommands->deleteGroup(); });
}

void Form1::cmdNewsUp_Click()
{
    groupCommand([this] { m_groupCommands->moveUp(); });
}

void Form1::cmdNewsDown_Click()
{
    groupCommand([this] { m_groupCommands->moveDown(); });
}

void Form1::cmdStartNo_Click()
{
    groupCommand([this] { m_groupCommands->openSettings(); });
}

void Form1::ListView1_ItemClick(int row)
{
    m_groupCommands->select(row + 1);
}

void Form1::ListView1_DblClick()
{
    groupCommand([this] { m_groupCommands->openSettings(); });
}

void Form1::ListView1_AfterLabelEdit(int row, const QString &text)
{
    // The table holds the new text already; the edited row is the one named.
    groupCommand([&] { m_groupCommands->rename(row + 1, text); });
}

void Form1::saveColumnWidths()
{
    QStringList widths;
    for (int w : m_listView1->columnWidths())
        widths << QString::number(w);
    m_ctx.store.write(kWindow, kColumnWidths, widths.join(QLatin1Char(',')));
}

// --- the scheduled start ---

void Form1::cmdAuto_Click()
{
    m_scheduler->cmdAuto_Click(m_text1->text());
}

void Form1::setLabel5(const QString &text)
{
    m_label5->setText(text);
    fitLabelText(m_label5, 14.25);
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
