#include "catalogue/ui/form3.h"

#include "catalogue/cataloguechooser.h"
#include "catalogue/catalogueconversation.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/namefiltermodel.h"
#include "core/appcontext.h"
#include "engine/tcpnntpsocket.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QListView *listBox(QWidget *parent, const char *name)
{
    auto *v = new QListView(parent);
    v->setObjectName(QString::fromLatin1(name));
    // Every row is one line of text: the view need not measure a hundred
    // thousand of them to lay them out.
    v->setUniformItemSizes(true);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    return v;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QString &tip)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

} // namespace

Form3::Form3(AppContext &ctx, CatalogueSession &session, QLineEdit *txtName, QWidget *parent,
             std::unique_ptr<NntpSocket> socket)
    : QDialog(parent), m_txtName(txtName), m_winsock1(std::move(socket))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟの一覧"));
    setModal(true);

    if (!m_winsock1)
        m_winsock1 = std::make_unique<TcpNntpSocket>();
    m_winsock1->setObjectName(QStringLiteral("Winsock1"));
    m_chooser = std::make_unique<CatalogueChooser>(session, ctx.store, ctx.settings, ctx.prompter);
    m_chooser->setBusy = [this](bool busy) {
        if (busy) {
            if (m_busyDepth++ == 0)
                QApplication::setOverrideCursor(Qt::WaitCursor);
        } else if (m_busyDepth > 0 && --m_busyDepth == 0) {
            QApplication::restoreOverrideCursor();
        }
    };
    m_conversation = std::make_unique<CatalogueConversation>(session, *m_chooser, *m_winsock1,
                                                             ctx.settings, ctx.prompter);

    m_filter1 = std::make_unique<NameFilterModel>(m_chooser->list1());
    m_filter2 = std::make_unique<NameFilterModel>(m_chooser->list2());
    m_list1 = listBox(this, "List1");
    m_list2 = listBox(this, "List2");
    // A double click chooses the name as OK does.
    connect(m_list1, &QListView::doubleClicked, this, [this](const QModelIndex &i) {
        List1_Click(i);
        cmdOK_Click();
    });
    connect(m_list2, &QListView::doubleClicked, this, [this](const QModelIndex &i) {
        List2_Click(i);
        cmdOK_Click();
    });
    showModel(m_list1, &m_chooser->list1(), true);
    showModel(m_list2, &m_chooser->list2(), true);
    auto *heading1 = new QLabel(QStringLiteral("全てのﾆｭｰｽｸﾞﾙｰﾌﾟ"), this);
    heading1->setObjectName(QStringLiteral("lblList1"));
    heading1->setBuddy(m_list1);
    auto *heading2 = new QLabel(QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ"), this);
    heading2->setObjectName(QStringLiteral("lblList2"));
    heading2->setBuddy(m_list2);
    m_txtFilter = new QLineEdit(this);
    m_txtFilter->setObjectName(QStringLiteral("txtFilter"));
    m_txtFilter->setPlaceholderText(QStringLiteral("名前の一部で絞り込み"));
    m_txtFilter->setClearButtonEnabled(true);
    auto *filterLabel = new QLabel(QStringLiteral("絞り込み(&F):"), this);
    filterLabel->setBuddy(m_txtFilter);
    m_list2->setToolTip(QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟを取込むとここに表示されます"));
    m_cmdALL = button(this, "cmdALL", QStringLiteral("全て取込"),
                      QStringLiteral("全てのﾆｭｰｽｸﾞﾙｰﾌﾟを取込みます"));
    m_cmdNew = button(this, "cmdNew", QStringLiteral("新しいグループ"),
                      QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟを取込みます"));
    m_cmdOK =
        button(this, "cmdOK", QStringLiteral("OK"), QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ名の設定をします"));
    m_cmdCancel =
        button(this, "cmdCancel", QStringLiteral("ｷｬﾝｾﾙ"), QStringLiteral("設定を行いません"));
    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setTextFormat(Qt::PlainText);

    // The whole catalogue on the left, the new names beside it, the commands
    // on the right and the count or error text underneath.
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdALL);
    buttons->addWidget(m_cmdNew);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto *column1 = new QVBoxLayout;
    column1->addWidget(heading1);
    column1->addWidget(m_list1, 1);
    auto *column2 = new QVBoxLayout;
    column2->addWidget(heading2);
    column2->addWidget(m_list2, 1);
    auto *row = new QHBoxLayout;
    row->addLayout(column1, 3);
    row->addLayout(column2, 2);
    row->addLayout(buttons);
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_txtFilter, 1);
    auto *all = new QVBoxLayout(this);
    all->addLayout(filterRow);
    all->addLayout(row, 1);
    all->addWidget(m_label1);
    resize(560, 400);

    connect(m_cmdALL, &QPushButton::clicked, this, &Form3::cmdALL_Click);
    connect(m_cmdNew, &QPushButton::clicked, this, &Form3::cmdNew_Click);
    connect(m_cmdOK, &QPushButton::clicked, this, &Form3::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &Form3::cmdCancel_Click);
    // A click, and a selection moved by the keyboard, both choose. (Not
    // the current row: a list taking the focus makes its first row current
    // without anyone choosing it.)
    connect(m_list1, &QListView::clicked, this, &Form3::List1_Click);
    connect(m_list2, &QListView::clicked, this, &Form3::List2_Click);
    connect(m_txtFilter, &QLineEdit::textChanged, this, &Form3::txtFilter_Changed);
    QWidget::setTabOrder(m_txtFilter, m_list1);
    connect(m_conversation.get(), &CatalogueConversation::label1Changed, m_label1,
            &QLabel::setText);

    Form_Load();
}

void Form3::showModel(QListView *view, QAbstractItemModel *model, bool first)
{
    if (!first && view->model() == model)
        return;
    view->setModel(model);
    // A click, and a selection moved by the keyboard, both choose. (Not
    // the current row: a list taking the focus makes its first row current
    // without anyone choosing it.)
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, view](const QItemSelection &selected) {
                if (selected.indexes().isEmpty())
                    return;
                if (view == m_list1)
                    List1_Click(selected.indexes().first());
                else
                    List2_Click(selected.indexes().first());
            });
}

int Form3::sourceRow(const QListView *view, const QModelIndex &index) const
{
    if (!index.isValid())
        return -1;
    const NameFilterModel *f = view == m_list1 ? m_filter1.get() : m_filter2.get();
    return view->model() == f ? f->sourceRow(index.row()) : index.row();
}

void Form3::txtFilter_Changed(const QString &text)
{
    m_filter1->setFilter(text);
    m_filter2->setFilter(text);
    // Without a filter the lists show the names themselves, which keep the
    // current row and scroll position while a fetch adds names.
    showModel(m_list1,
              m_filter1->active() ? static_cast<QAbstractItemModel *>(m_filter1.get())
                                  : &m_chooser->list1(),
              false);
    showModel(m_list2,
              m_filter2->active() ? static_cast<QAbstractItemModel *>(m_filter2.get())
                                  : &m_chooser->list2(),
              false);
}

Form3::~Form3()
{
    // The views let go of the lists before the lists go.
    m_list1->setModel(nullptr);
    m_list2->setModel(nullptr);
    while (m_busyDepth > 0) {
        --m_busyDepth;
        QApplication::restoreOverrideCursor();
    }
}

void Form3::Form_Load()
{
    if (const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect g = s->geometry();
        move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
    m_chooser->Form_Load();
}

void Form3::done(int result)
{
    // Closing the window ends a fetch under way.
    m_winsock1->close();
    QDialog::done(result);
}

void Form3::cmdALL_Click()
{
    m_conversation->cmdALL_Click();
}

void Form3::cmdNew_Click()
{
    m_conversation->cmdNew_Click();
}

void Form3::cmdOK_Click()
{
    const std::optional<QString> name = m_chooser->cmdOK_Click();
    if (!name)
        return;
    if (m_txtName)
        m_txtName->setText(*name);
    accept();
}

void Form3::cmdCancel_Click()
{
    reject();
}

void Form3::List1_Click(const QModelIndex &index)
{
    if (const int row = sourceRow(m_list1, index); row >= 0)
        m_chooser->List1_Click(row);
}

void Form3::List2_Click(const QModelIndex &index)
{
    if (const int row = sourceRow(m_list2, index); row >= 0)
        m_chooser->List2_Click(row);
}
