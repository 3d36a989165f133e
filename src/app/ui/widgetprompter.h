#pragma once

#include "core/prompter.h"

#include <QPointer>
#include <QWidget>

class QInputDialog;

// The program's message and input boxes: Qt dialogs titled KAPLO, modal over
// the main window once it exists.
class WidgetPrompter final : public Prompter {
public:
    explicit WidgetPrompter(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    void message(const QString &text) override;
    bool confirm(const QString &text) override;
    std::optional<QString> input(const QString &prompt, const QString &defaultText) override;

    static QString title() { return QStringLiteral("KAPLO"); }
    // Sets up the input box as input() shows it.
    static void setUpInput(QInputDialog &dlg, const QString &prompt, const QString &defaultText);

private:
    QPointer<QWidget> m_parent;
};
