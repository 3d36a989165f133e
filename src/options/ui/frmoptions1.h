#pragma once

#include <QDialog>

class DirListBox;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct AppContext;
struct SaveOptions;

// The save options dialog: save directory, directory and log options,
// duplicate-name handling and the run limit.
class frmOptions1 final : public QDialog {
    Q_OBJECT
public:
    frmOptions1(AppContext &ctx, QWidget *parent = nullptr);

public slots:
    void Drive1_Change();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void Form_Load();
    // The volumes the drive list offers: "/" first, then the others by path.
    void fillDrives();
    // Shows the volume holding dir in Drive1 without moving Dir1; false when
    // no listed volume holds it.
    bool showDriveOf(const QString &dir);
    SaveOptions values() const;

    AppContext &m_ctx;
    QComboBox *Drive1 = nullptr;
    DirListBox *Dir1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check3 = nullptr;
    QCheckBox *Check4 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QRadioButton *Option3 = nullptr;
    QRadioButton *Option4 = nullptr;
    QRadioButton *Option5 = nullptr;
    QRadioButton *Option6 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
};
