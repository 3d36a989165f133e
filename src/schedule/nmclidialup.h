#pragma once

#include "schedule/dialup.h"

#include <QByteArray>

#include <map>
#include <memory>

class QProcess;

// Dial-up through NetworkManager's command-line client. The entries are its
// connection names; dialling an entry is "nmcli connection up id NAME" run as
// a child process, whose process id is the task number, and dialling is over
// when that process has ended (nmcli returns once the connection is up or has
// failed). Without NetworkManager the list is empty and every launch fails,
// silently.
class NmcliDialUp final : public DialUp {
public:
    // The commands run; tests put harmless stand-ins here.
    struct Commands {
        QString program = QStringLiteral("nmcli");
        // Prints the connection names in terse form, one per line.
        QStringList listArguments = {QStringLiteral("-t"), QStringLiteral("-f"),
                                     QStringLiteral("NAME"), QStringLiteral("connection"),
                                     QStringLiteral("show")};
        // The entry's name is added as one more argument.
        QStringList upArguments = {QStringLiteral("connection"), QStringLiteral("up"),
                                   QStringLiteral("id")};
        // How long the listing may take before it counts as no answer.
        int listTimeoutMs = 5000;
    };

    NmcliDialUp();
    explicit NmcliDialUp(Commands commands);
    // A dialling still under way has its nmcli process killed; the
    // activation NetworkManager already accepted goes on without it.
    ~NmcliDialUp() override;
    NmcliDialUp(const NmcliDialUp &) = delete;
    NmcliDialUp &operator=(const NmcliDialUp &) = delete;

    QStringList entries() override;
    qint64 launch(const QString &entry) override;
    bool watch(qint64 task) override;

    // The names in "nmcli -t -f NAME" output: one per line, where the terse
    // form escapes ':' and '\' with a backslash. Empty lines are skipped.
    static QStringList parseNames(const QByteArray &terseOutput);

private:
    void forgetFinished();

    Commands m_commands;
    std::map<qint64, std::unique_ptr<QProcess>> m_dialling;
};
