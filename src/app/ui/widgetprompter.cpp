#include "app/ui/widgetprompter.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Qt's own button texts are English without a translation loaded.
QString cancelText()
{
    return QStringLiteral("ｷｬﾝｾﾙ");
}

} // namespace

void WidgetPrompter::message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool WidgetPrompter::confirm(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.button(QMessageBox::Cancel)->setText(cancelText());
    return box.exec() == QMessageBox::Ok;
}

void WidgetPrompter::setUpInput(QInputDialog &dlg, const QString &prompt,
                                const QString &defaultText)
{
    dlg.setWindowTitle(title());
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setLabelText(prompt);
    dlg.setTextValue(defaultText);
    dlg.setOkButtonText(QStringLiteral("OK"));
    dlg.setCancelButtonText(cancelText());
}

std::optional<QString> WidgetPrompter::input(const QString &prompt, const QString &defaultText)
{
    QInputDialog dlg(m_parent);
    setUpInput(dlg, prompt, defaultText);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.textValue();
}
