#pragma once

#include "core/prompter.h"

#include <QTextStream>

#include <cstdio>

// kaplo-cli's message boxes: the text goes to stderr, a question takes its
// default answer and an input box its default text (nobody is there to
// answer).
class CliPrompter final : public Prompter {
public:
    explicit CliPrompter(bool confirmAnswer = true) : m_confirmAnswer(confirmAnswer) {}

    void message(const QString &text) override
    {
        ++shownCount;
        QTextStream(stderr) << text << '\n';
    }
    bool confirm(const QString &text) override
    {
        ++shownCount;
        QTextStream(stderr) << text << (m_confirmAnswer ? " [OK]\n" : " [ｷｬﾝｾﾙ]\n");
        return m_confirmAnswer;
    }
    std::optional<QString> input(const QString &prompt, const QString &defaultText) override
    {
        ++shownCount;
        QTextStream(stderr) << prompt << " [" << defaultText << "]\n";
        return defaultText;
    }

    // How many messages, questions and input boxes were shown.
    int shownCount = 0;

private:
    bool m_confirmAnswer;
};
