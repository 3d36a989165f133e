#pragma once

#include "schedule/dialupoptions.h"

#include <QDialog>

class DialUp;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct AppContext;

// The connection dialog: the dial-up entry that a scheduled start dials
// first ("なし" for none) and the interval of the timer that watches for the
// scheduled minute and the dialling. Opened modally from the main window.
class frmOptions2 final : public QDialog {
    Q_OBJECT
public:
    frmOptions2(AppContext &ctx, DialUp &dialUp, QWidget *parent = nullptr);

public slots:
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void Form_Load();

    DialUp &m_dialUp;
    DialUpOptions m_options;
    QLabel *Label1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
};
