#pragma once

#include "engine/nntpsocket.h"

#include <QPair>
#include <QString>
#include <QStringList>

// A socket that talks to nobody: the test plays the server with feed() and
// fail() and reads what the code under test sent from `sent`. No Q_OBJECT:
// it adds no signal, and the support library needs no engine.
class FakeSocket final : public NntpSocket {
public:
    using NntpSocket::NntpSocket;

    void connectToHost(const QString &host, int port) override
    {
        connects << qMakePair(host, port);
        ++connectCount;
        closed = false;
    }
    void send(const QString &text) override { sent << text; }
    QString readAll() override
    {
        QString t;
        t.swap(m_pending);
        return t;
    }
    void close() override
    {
        closed = true;
        ++closeCount;
    }

    void feed(const QString &text)
    {
        m_pending += text;
        emit dataArrival();
    }
    void fail(const QString &description) { emit error(description); }

    // Of the last connectToHost(), empty/0 when none.
    QString host() const { return connects.isEmpty() ? QString() : connects.last().first; }
    int port() const { return connects.isEmpty() ? 0 : connects.last().second; }

    QList<QPair<QString, int>> connects; // every connectToHost(), in order
    QStringList sent;                    // every send(), text as given (with CR LF)
    int connectCount = 0;
    int closeCount = 0;
    bool closed = false; // close() called since the last connectToHost()

private:
    QString m_pending;
};
