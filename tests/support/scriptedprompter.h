#pragma once

#include "app/prompter.h"

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
        auto a = inputAnswers.front();
        inputAnswers.pop_front();
        return a;
    }

    QStringList shown;
    std::deque<bool> confirmAnswers;
    std::deque<std::optional<QString>> inputAnswers;
};
