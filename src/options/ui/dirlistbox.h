#pragma once

#include <QListWidget>
#include <QString>

// A directory list box: it is opened at one directory (its path) and shows
// that directory's ancestors and its subdirectories. Double-clicking a row or
// pressing Enter on it opens that directory; a single click only highlights
// it, so the path stays the directory last opened.
class DirListBox final : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Opens dir; false (and nothing changes) when it is not a readable
    // directory.
    bool setPath(const QString &dir);

signals:
    // The opened directory changed.
    void pathChanged(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openRow(QListWidgetItem *item);

    QString m_path;
};
