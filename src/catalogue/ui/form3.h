#pragma once

#include "engine/nntpsocket.h"

#include <QDialog>

#include <memory>

class CatalogueChooser;
class CatalogueConversation;
class NameFilterModel;
class QAbstractItemModel;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
struct AppContext;
struct CatalogueSession;

// ﾆｭｰｽｸﾞﾙｰﾌﾟの一覧: the server's newsgroup catalogue, from which a name is
// chosen for the group settings dialog. It fetches the catalogue over its own
// socket (all groups or the new ones), keeps it in newsgroups.dat and, on OK,
// puts the chosen name into the dialog's txtName. What outlives the window
// is in the CatalogueSession it is given; closing it ends a fetch under way.
class Form3 final : public QDialog {
    Q_OBJECT
public:
    // txtName may be null (nothing to hand the name to). The socket is a
    // TCP one unless given.
    Form3(AppContext &ctx, CatalogueSession &session, QLineEdit *txtName, QWidget *parent = nullptr,
          std::unique_ptr<NntpSocket> socket = nullptr);
    ~Form3() override;

    CatalogueChooser &chooser() { return *m_chooser; }
    CatalogueConversation &conversation() { return *m_conversation; }

    void done(int result) override;

public slots:
    void Form_Load();
    void cmdALL_Click();
    void cmdNew_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void List1_Click(const QModelIndex &index);
    void List2_Click(const QModelIndex &index);
    // Narrows both lists to the names containing every word of the text.
    void txtFilter_Changed(const QString &text);

private:
    // Shows `model` in `view` (the whole list, or its filtered rows).
    void showModel(QListView *view, QAbstractItemModel *model, bool first);
    int sourceRow(const QListView *view, const QModelIndex &index) const;

    QLineEdit *m_txtName;
    std::unique_ptr<NntpSocket> m_winsock1;
    std::unique_ptr<CatalogueChooser> m_chooser;
    std::unique_ptr<CatalogueConversation> m_conversation;
    int m_busyDepth = 0;
    std::unique_ptr<NameFilterModel> m_filter1;
    std::unique_ptr<NameFilterModel> m_filter2;

    QListView *m_list1;
    QListView *m_list2;
    QPushButton *m_cmdALL;
    QPushButton *m_cmdNew;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdCancel;
    QLabel *m_label1;
    QLineEdit *m_txtFilter;
};
