#pragma once

#include <QString>

#include <optional>

// Every message box and input box of the program goes through this, titled
// KAPLO: Qt dialogs in the program, scripted answers in tests, stderr and a
// default answer in kaplo-cli.
class Prompter {
public:
    virtual ~Prompter() = default;
    // A message with an OK button; returns when it is closed.
    virtual void message(const QString &text) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool confirm(const QString &text) = 0;
    // An input box (no title of its own); nullopt when cancelled.
    virtual std::optional<QString> input(const QString &prompt, const QString &defaultText) = 0;
};
