#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The about box: the program's title, version and contact lines.
class frmAbout final : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

    static QString applicationTitle() { return QStringLiteral("KAPLO"); }
    static constexpr int Major = KAPLO_VERSION_MAJOR;
    static constexpr int Minor = KAPLO_VERSION_MINOR;
    static constexpr int Revision = KAPLO_VERSION_PATCH;
    static QString versionLine(); // "ﾊﾞｰｼﾞｮﾝ 1.6.8"

    static QString contactLine() { return QStringLiteral("KAPLO 開発チーム"); }
    static QString webAddress() { return QStringLiteral("https://kaplo.example.org/"); }

public slots:
    void cmdOK_Click();

private:
    void Form_Load();

    QLabel *m_picIcon;
    QLabel *m_lblTitle;
    QLabel *m_lblVersion;
    QLineEdit *m_text2;
    QLineEdit *m_text1;
    QPushButton *m_cmdOK;
};
