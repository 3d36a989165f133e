#pragma once

#include "catalogue/cataloguesession.h"
#include "engine/nntpauth.h"

#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>

#include <vector>

class CatalogueChooser;
class NntpSocket;
class Prompter;
struct RunningSettings;

// The catalogue window's own NNTP conversation: LIST for all groups, or
// NEWGROUPS with the since-value for the new ones (RFC 3977 7.3, 7.6). The
// names go to the chooser's lists as they arrive; the listing's end line
// saves the catalogue. The state lives in the CatalogueSession, so it
// outlives the window; the socket is the window's and goes with it.
class CatalogueConversation final : public QObject {
    Q_OBJECT
public:
    CatalogueConversation(CatalogueSession &session, CatalogueChooser &chooser, NntpSocket &socket,
                          const RunningSettings &settings, Prompter &prompter,
                          QObject *parent = nullptr);

    static QString allConfirmText(); // "全て取込むには時間がかかります"
    static QString newConfirmText(); // "新しいﾆｭｰｽｸﾞﾙｰﾌﾟの取込を開始しますか"
    static QString completedText();   // "一覧取込を完了しました"
    static QString lineTooLongText(); // a server that sends no line end

    // Received text kept while waiting for a line end; a server that sends
    // a longer line is dropped.
    static constexpr qsizetype MaxLineLength = CatalogueSession::MaxLineLength;

    // The two fetch commands. Each changes the new-only flag (and cmdALL the
    // since-value) before asking, so a cancelled command still changes them.
    // A confirmed fetch ends any connection still open, starts with an empty
    // receive buffer and a cleared reply flag, and connects.
    void cmdALL_Click();
    void cmdNew_Click();

    void Winsock1_DataArrival();
    void Winsock1_Error(const QString &description);

    // A connection of ours is open (a fetch is under way).
    bool connected() const { return m_connected; }

signals:
    // The text of Label1: the fetch count, or a socket error's description.
    void label1Changed(const QString &text);
    // The end line of a listing was taken; saved tells whether the catalogue
    // reached the disk.
    void listingEnded(bool saved);
    // The server's status reply to the command (any code).
    void statusReceived(const QString &statusLine);
    // The server answered the command with a 4xx status: the conversation
    // ended quietly.
    void refused(const QString &statusLine);
    // The socket reported an error, or the server fell silent for
    // SERVER/TIMEOUT seconds; the connection is closed.
    void failed(const QString &description);

private:
    void startFetch(bool emptyList1);
    void closeSocket();
    void takeData();
    // false: stop taking lines (the listing ended).
    bool takeLine(QStringView line);
    // What a reply of NntpAuth's means here; false: stop taking lines.
    bool takeAuth(NntpAuth::Reply reply);
    void showCount();
    void serverSilent();

    CatalogueSession &m_session;
    CatalogueChooser &m_chooser;
    NntpSocket &m_socket;
    const RunningSettings &m_settings;
    Prompter &m_prompter;
    bool m_connected = false;
    bool m_inEvent = false;            // inside a data event (a message box may be up)
    bool m_moreData = false;           // data arrived meanwhile
    bool m_countChanged = false;       // Label1 is behind the count
    QString m_statusLine;              // the 4xx status, for refused()
    bool m_emptyList1 = false;         // the fetch replaces List1 when its listing begins
    std::vector<QString> m_listBefore; // List1 as it was, until the listing is complete
    NntpAuth m_auth;                   // MODE READER and AUTHINFO of this connection
    QByteArray m_chunk;                // the bytes of the last read
    QTimer m_silence;                  // the server has said nothing for SERVER/TIMEOUT
    int m_timeout = 0;                 // its seconds for this fetch
};
