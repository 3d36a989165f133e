#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
struct AppContext;

// The news server dialog: the server's host name and port, stored as typed.
class frmOptions final : public QDialog {
    Q_OBJECT
public:
    frmOptions(AppContext &ctx, QWidget *parent = nullptr);

public slots:
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void Form_Load();
    // Places a caption and its field on the next row of the form.
    void addRow(QLabel *label, QWidget *field, int fieldWidthTwips);

    AppContext &m_ctx;
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text2 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    int m_rows = 0;
};
