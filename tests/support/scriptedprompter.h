#pragma once

#include "core/prompter.h"

#include <QStringList>

#include <deque>

// Records every message; answers confirmations from a script (OK when it is
// empty) and input boxes with the default text.
class ScriptedPrompter final : public Prompter {
public:
    void message(const QString &text) override { shown << text; }
    bool confirm(const QString &text) override
    {
        shown << text;
        const bool a = confirmAnswers.empty() || confirmAnswers.front();
        if (!confirmAnswers.empty())
            confirmAnswers.pop_front();
        return a;
    }
    std::optional<QString> input(const QString &prompt, const QString &defaultText) override
    {
        shown << prompt;
        return defaultText;
    }

    QStringList shown;
    std::deque<bool> confirmAnswers;
};
