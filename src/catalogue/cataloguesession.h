#pragma once

#include "engine/linebuffer.h"
#include "settings/runningsettings.h"

#include <QString>

// Where the catalogue conversation stands.
enum class CatalogueState {
    Idle,     // before the first fetch
    Greeting, // connecting; the server's greeting comes first
    Command,  // MODE READER, AUTHINFO and the fetch command, then its status reply
    Reading,  // the listing's lines
    Ended,    // the conversation is over
};

// What the catalogue window keeps for the whole program run: the state of its
// NNTP conversation, the since-value and the name chosen last. The window
// itself (lists, label, socket) is made afresh at every opening; this object
// is made once by whoever owns the program's windows (the main window keeps
// it with its group commands) and handed to each opening, so closing and
// reopening the window finds it unchanged.
struct CatalogueSession {
    // The argument of NEWGROUPS before any fetch time is stored, and the one
    // the all-groups command leaves behind (both "YYMMDD HHMMSS").
    static QString defaultSince() { return RunningSettings::defaultSince(); }
    static QString allGroupsSince() { return QStringLiteral("750815 120000"); }
    // What NEWGROUPS is sent while the since-value is still defaultSince():
    // servers read "45" as 1945 (and refuse it, or answer nothing) or as 2045
    // (and answer nothing), while "700102 000000" is 1970 everywhere, before
    // any group was made. The stored value itself is left as it is.
    static QString firstFetchSince() { return QStringLiteral("700102 000000"); }

    CatalogueState state = CatalogueState::Idle;
    bool replyFlag = false; // true: the lines now received are the listing
    bool newOnly = false;   // the fetch asks for NEWGROUPS, not LIST
    qint64 fetchCount = 0;  // names received in the current fetch
    // Received bytes kept while waiting for a line end; a server that sends
    // a longer line is dropped.
    static constexpr qsizetype MaxLineLength = 16 * 1024 * 1024;
    LineBuffer buffer{MaxLineLength}; // received bytes not yet taken as whole lines
    QString sinceValue = defaultSince();
    QString chosenName; // set by a click in either list
};
