#pragma once

#include "groups/groupdialog.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct AppContext;

// ﾆｭｰｽｸﾞﾙｰﾌﾟの設定: the settings of the group at row SelectedGroup, shown
// modally by the add and settings commands. OK writes the row and the store;
// ｷｬﾝｾﾙ and Esc change nothing.
class Form2 final : public QDialog {
    Q_OBJECT
public:
    explicit Form2(AppContext &ctx, QWidget *parent = nullptr);

    // Shows the newsgroup catalogue window modally; it may put a chosen name
    // into txtName. Empty until the catalogue window is wired in.
    std::function<void(QLineEdit *txtName)> openCatalogue;

    // The controls as plain values, and back.
    GroupDialog::Values values() const;
    void setValues(const GroupDialog::Values &v);

    // cmd一覧 (moc cannot name a slot with it, so it is a plain member).
    void cmd一覧_Click();

public slots:
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    AppContext &m_ctx;
    QLabel *m_label1;
    QLineEdit *m_txtName;
    QLabel *m_label2;
    QLineEdit *m_text1;
    QPushButton *m_cmdList;
    QCheckBox *m_check4;
    QCheckBox *m_check1;
    QCheckBox *m_check2;
    QCheckBox *m_check3;
    QGroupBox *m_frame1;
    QRadioButton *m_option1;
    QRadioButton *m_option2;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdCancel;
};
