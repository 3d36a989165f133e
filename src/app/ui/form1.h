#pragma once

#include "app/startup.h"
#include "engine/runprogress.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <memory>
#include <vector>

struct AppContext;
class ArticleParser;
struct CatalogueSession;
class DialUp;
class DownloadEngine;
class GroupCommands;
class GroupListView;
class Scheduler;
class TcpNntpSocket;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
struct RunSummary;

// The main window: the group table, the buttons that edit it, the start/stop
// button, the scheduled start, the status labels and the menus. It shows the
// core's state and forwards every event to the object that decides.
class Form1 final : public QMainWindow {
    Q_OBJECT
public:
    // Runs Form_Load (which may ask "LOG=L" through ctx.prompter).
    Form1(AppContext &ctx, const QString &commandLine, QWidget *parent = nullptr);
    ~Form1() override;

    AppContext &context() { return m_ctx; }
    Activation &activation() { return m_activation; }
    DownloadEngine &engine() { return *m_engine; }
    Scheduler &scheduler() { return *m_scheduler; }

    static QString startCaption() { return QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ開始"); }
    static QString stopCaption() { return QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ中止"); }

    // The client area as designed, and the smallest it lays out in.
    static QSize designClientSize();
    static QSize minimumClientSize();
    // The text of the latest end-of-run notification (shown through the
    // system tray when there is one); empty when none was due.
    QString lastNotification() const { return m_lastNotification; }

public slots:
    // The window became active: the checks and the automatic start.
    void Form_Activate();

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void cmdNewsUp_Click();
    void cmdNewsDown_Click();
    void cmdStartNo_Click();
    void cmdAuto_Click();
    void Timer1_Timer();
    void ListView1_ItemClick(int row);
    void ListView1_DblClick();
    void ListView1_AfterLabelEdit(int row, const QString &text);

    void mnuServer_Click();
    void mnuDir_Click();
    void mnuConnect_Click();
    void mnuVersion_Click();
    void mnuExit_Click();

    // A run started or ended: the start/stop caption and the six buttons
    // that are disabled while it goes on.
    void setRunning(bool running);
    // The status labels from the run's state.
    void showStatus();
    // The end of a run, however it ended: re-arms the daily start.
    void runEnded();
    // Article processing cannot go on: the message, then the program ends.
    void fatalError(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void Form_Load(const QString &commandLine);
    void buildControls();
    // Places every control for a client area of this size: the list takes
    // what the window gains or loses, the buttons keep to the right edge,
    // the status lines to the bottom.
    void layoutControls(QSize client);
    // A command that may change the rows or SelectedGroup; the highlighted
    // row then follows SelectedGroup.
    template <class F> void groupCommand(F f);
    // Highlights the row SelectedGroup names (none when it names none).
    void showSelection();
    void currentRowChanged(const QModelIndex &current);
    void showRate();
    void notifyRunEnd(const RunSummary &summary);
    void setLabel5(const QString &text);
    void saveColumnWidths();
    void buildMenus();
    void buildCore();
    void centreOnScreen();

    AppContext &m_ctx;
    Activation m_activation;
    std::unique_ptr<CatalogueSession> m_catalogueSession; // lives as long as the program
    std::unique_ptr<GroupCommands> m_groupCommands;
    std::unique_ptr<TcpNntpSocket> m_winsock1;
    std::unique_ptr<DownloadEngine> m_engine;
    std::unique_ptr<ArticleParser> m_articleParser;
    std::unique_ptr<DialUp> m_dialUp;
    std::unique_ptr<Scheduler> m_scheduler;
    bool m_shownOnce = false;
    bool m_syncingSelection = false;
    bool m_scheduledStart = false; // Command1_Click comes from the schedule
    bool m_notifyAtEnd = false;
    QString m_lastNotification;
    RateMeter m_rate;
    QElapsedTimer m_clock;

    struct Placed {
        QWidget *widget;
        QRect design; // twips
        enum Anchor { Fixed, Right, RightLow, List, Bottom, BottomStretch, BottomRight } anchor;
    };
    std::vector<Placed> m_placed;

    GroupListView *m_listView1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_cmdNewsUp = nullptr;
    QPushButton *m_cmdNewsDown = nullptr;
    QPushButton *m_cmdStartNo = nullptr;
    QPushButton *m_cmdAuto = nullptr;
    QLineEdit *m_text1 = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_label4 = nullptr;
    QLabel *m_label5 = nullptr;
    QLabel *m_label6 = nullptr;
    QLabel *m_label7 = nullptr;
    QLabel *m_label8 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QProgressBar *m_progress1 = nullptr;
    QLabel *m_lblRate = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_rateTimer = nullptr;
    QTimer *m_saveWidths = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
};
