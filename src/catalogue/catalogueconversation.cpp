#include "catalogue/catalogueconversation.h"

#include "catalogue/cataloguechooser.h"
#include "catalogue/cataloguesession.h"
#include "core/prompter.h"
#include "decode/cp932.h"
#include "engine/downloadengine.h"
#include "engine/nntpsocket.h"
#include "settings/runningsettings.h"
#include "settings/textvalue.h"

CatalogueConversation::CatalogueConversation(CatalogueSession &session, CatalogueChooser &chooser,
                                             NntpSocket &socket, const RunningSettings &settings,
                                             Prompter &prompter, QObject *parent)
    : QObject(parent), m_session(session), m_chooser(chooser), m_socket(socket),
      m_settings(settings), m_prompter(prompter)
{
    connect(&m_socket, &NntpSocket::dataArrival, this,
            &CatalogueConversation::Winsock1_DataArrival);
    connect(&m_socket, &NntpSocket::error, this, &CatalogueConversation::Winsock1_Error);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &CatalogueConversation::serverSilent);
}

QString CatalogueConversation::allConfirmText()
{
    return QStringLiteral("全て取込むには時間がかかります");
}

QString CatalogueConversation::newConfirmText()
{
    return QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟの取込を開始しますか");
}

QString CatalogueConversation::completedText()
{
    return QStringLiteral("一覧取込を完了しました");
}

QString CatalogueConversation::lineTooLongText()
{
    return QStringLiteral("サーバーから受信した行が長すぎます");
}

void CatalogueConversation::cmdALL_Click()
{
    m_session.newOnly = false;
    m_session.sinceValue = CatalogueSession::allGroupsSince();
    if (!m_prompter.confirm(allConfirmText()))
        return;
    startFetch(true);
}

void CatalogueConversation::cmdNew_Click()
{
    m_session.newOnly = true;
    if (!m_prompter.confirm(newConfirmText()))
        return;
    startFetch(false);
}

void CatalogueConversation::startFetch(bool emptyList1)
{
    // A fetch still under way ends here; whatever it left half-read must not
    // be taken for the new server's greeting.
    closeSocket();
    m_session.replyFlag = false;
    m_session.buffer.clear();
    m_statusLine.clear();
    m_connected = true;
    m_auth.reset(NntpAuth::Settings::from(m_settings));
    m_socket.setTls(m_settings.tls());
    m_socket.setCaFile(m_settings.caFile);
    m_socket.connectToHost(m_settings.serverName, TextValue::portNumber(m_settings.serverPort));
    m_timeout = DownloadEngine::timeoutSeconds(m_settings.timeout);
    m_silence.start(m_timeout * 1000);
    m_session.state = CatalogueState::Greeting;
    // The lists are emptied when the listing begins: a fetch that fails
    // before it leaves what was shown.
    m_emptyList1 = emptyList1;
    m_session.fetchCount = 0;
}

void CatalogueConversation::closeSocket()
{
    m_silence.stop();
    m_connected = false;
    m_socket.close();
}

void CatalogueConversation::Winsock1_DataArrival()
{
    if (m_connected)
        m_silence.start(m_timeout * 1000);
    // A message box shown while lines are taken runs the event loop; data
    // arriving then waits for the lines before it.
    if (m_inEvent) {
        m_moreData = true;
        return;
    }
    m_inEvent = true;
    do {
        m_moreData = false;
        takeData();
    } while (m_moreData && m_connected);
    m_inEvent = false;
}

void CatalogueConversation::serverSilent()
{
    if (m_connected)
        Winsock1_Error(DownloadEngine::silenceText(m_timeout));
}

void CatalogueConversation::Winsock1_Error(const QString &description)
{
    // A whole catalogue cut off part way is not shown: the list it replaced
    // comes back (the file still holds it).
    if (m_session.state == CatalogueState::Reading && m_emptyList1 && m_connected) {
        m_chooser.list1().setNames(QStringList(m_listBefore.begin(), m_listBefore.end()));
    }
    m_listBefore.clear();
    emit label1Changed(description);
    closeSocket();
    emit failed(description);
}

void CatalogueConversation::takeData()
{
    LineBuffer &buf = m_session.buffer;
    m_socket.readBytes(m_chunk);
    buf.append(m_chunk);

    bool ended = false;
    bool tooLong = false;
    QByteArrayView raw;
    while (!ended && buf.takeLine(raw, &tooLong) && !tooLong)
        ended = !takeLine(Cp932::decode(raw)); // no CP932 character holds an LF byte
    m_chooser.flush();
    showCount();

    // A line past the cap, whole or still waiting for its end.
    if (tooLong || (!ended && buf.size() > MaxLineLength)) {
        buf.clear();
        Winsock1_Error(lineTooLongText());
        return;
    }

    if (m_auth.hasCommand() && m_connected) {
        m_socket.send(m_auth.takeCommand());
        return;
    }
    if (!m_session.replyFlag)
        return;
    if (m_session.state == CatalogueState::Command) {
        const QString since = m_session.sinceValue == CatalogueSession::defaultSince()
                                  ? CatalogueSession::firstFetchSince()
                                  : m_session.sinceValue;
        m_socket.send(m_session.newOnly
                          ? QStringLiteral("NEWGROUPS ") + since + QStringLiteral("\r\n")
                          : QStringLiteral("LIST\r\n"));
        m_session.replyFlag = false;
    } else if (m_session.state == CatalogueState::Ended) {
        const bool wasOpen = m_connected;
        closeSocket();
        m_session.replyFlag = false;
        if (wasOpen && !m_statusLine.isEmpty())
            emit refused(m_statusLine);
        m_statusLine.clear();
    }
}

bool CatalogueConversation::takeLine(QStringView line)
{
    if (!m_session.replyFlag) {
        if (m_session.state == CatalogueState::Greeting) {
            // The greeting, whatever its code, is answered with the command,
            // after MODE READER and AUTHINFO when they are set.
            m_session.state = CatalogueState::Command;
            return takeAuth(m_auth.begin());
        } else if (m_session.state == CatalogueState::Command) {
            // Replies to MODE READER and AUTHINFO, and a 480 to the command.
            if (const NntpAuth::Reply r = m_auth.reply(line); r != NntpAuth::Reply::Pass)
                return takeAuth(r);
            // An error reply (INN answers a since-value before 1970 with
            // "501 Bad date") brings no listing: waiting for one would hang
            // the window, so the fetch ends with the reply in Label1.
            if (line.startsWith(QLatin1Char('5'))) {
                Winsock1_Error(line.toString());
                return false;
            }
            // Otherwise only the first character of the reply counts.
            if (line.startsWith(QLatin1Char('4'))) {
                m_session.state = CatalogueState::Ended;
                m_statusLine = line.toString();
            } else {
                m_session.state = CatalogueState::Reading;
                if (m_emptyList1) {
                    m_listBefore = m_chooser.list1().names();
                    m_chooser.list1().clear();
                }
                m_chooser.list2().clear();
            }
            m_session.replyFlag = true;
            emit statusReceived(line.toString());
        }
        return true;
    }

    if (line == QLatin1String(".")) {
        // The conversation is over: the connection goes before any message
        // box, so nothing of it can arrive while a box is up.
        closeSocket();
        m_listBefore.clear();
        m_chooser.flush();
        showCount();
        const bool saved = m_chooser.SaveGroups();
        m_session.state = CatalogueState::Ended;
        if (saved)
            m_prompter.message(completedText());
        emit listingEnded(saved);
        return false;
    }

    // The name is the text before the first space; a line without one is
    // all name.
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    m_chooser.addName((space < 0 ? line : line.left(space)).toString(), m_session.newOnly);
    ++m_session.fetchCount;
    m_countChanged = true;
    return true;
}

bool CatalogueConversation::takeAuth(NntpAuth::Reply reply)
{
    switch (reply) {
    case NntpAuth::Reply::Pass:
    case NntpAuth::Reply::Resume:
        // The command (again, after a 480) goes out after the lines.
        m_session.replyFlag = true;
        return true;
    case NntpAuth::Reply::Taken:
        return true;
    case NntpAuth::Reply::Fail:
        // As a failed connection: the server's reply in Label1.
        Winsock1_Error(m_auth.failure());
        return false;
    }
    return true;
}

void CatalogueConversation::showCount()
{
    if (!m_countChanged)
        return;
    m_countChanged = false;
    emit label1Changed(QString::number(m_session.fetchCount));
}
