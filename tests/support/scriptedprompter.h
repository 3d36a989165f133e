#pragma once

#include "core/prompter.h"

#include <QStringList>

#include <deque>

// Records every message and answers confirmations and input boxes from a
// script (OK and the default text when the script is empty).
class ScriptedPrompter final : public Prompter {
public:
    void message(const QString &text) override { shown << text; }
    bool confirm(const QString &text) override
    {
        shown << text;
        if (confirmAnswers.empty())
            return true;
        const bool a = confirmAnswers.front();
        confirmAnswers.pop_front();
        return a;
    }
    std::optional<QString> input(const QString &prompt, const QString &defaultText) override
    {
        shown << prompt;
        if (inputAnswers.empty())
            return defaultText;
        // Taken apart by hand: copying the optional trips GCC 12's
        // maybe-uninitialized warning at -O2.
        const bool answered = inputAnswers.front().has_value();
        QString a = inputAnswers.front().value_or(QString());
        inputAnswers.pop_front();
        if (!answered)
            return std::nullopt;
        return a;
    }

    QStringList shown;
    std::deque<bool> confirmAnswers;
    std::deque<std::optional<QString>> inputAnswers;
};
