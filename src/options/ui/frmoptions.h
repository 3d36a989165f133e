#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct AppContext;

// The news server dialog: the server's host name and port, stored as typed;
// the timeout (a whole number of seconds, at least 1); TLS, the user name and
// password, and MODE READER.
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
    // Places a control over the whole width of the next row.
    void addWideRow(QWidget *field);

    AppContext &m_ctx;
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text5 = nullptr;  // timeout in seconds, beside the port
    QCheckBox *Check1 = nullptr; // SSL/TLS
    QLabel *Label6 = nullptr;
    QLineEdit *Text6 = nullptr; // CA file: a private server's authority, under the TLS box
    QLabel *Label3 = nullptr;
    QLineEdit *Text3 = nullptr; // user name
    QLabel *Label4 = nullptr;
    QLineEdit *Text4 = nullptr;  // password, masked
    QCheckBox *Check2 = nullptr; // MODE READER
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    int m_rows = 0;
};
