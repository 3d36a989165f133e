#pragma once

#include <QString>

// What a finished run did, as the main window's status line and the
// desktop notification tell it: how it ended, the files and bytes written
// by this run and how long it took.
struct RunSummary {
    enum class End { Finished, Stopped, Limit, Error };

    End end = End::Finished;
    QString reason; // why an Error run ended (the text Label3 shows)
    qint64 files = 0;
    qint64 bytes = 0;
    qint64 msecs = 0;

    // "処理完了  ﾌｧｲﾙ数=3  ﾌｧｲﾙｻｲｽﾞ=1,234ﾊﾞｲﾄ  所要時間=0:01:05"; an error
    // names its reason after the first word.
    QString text() const;
    // The first word of text().
    QString endText() const;
    // H:MM:SS, whole seconds rounded down; never negative.
    static QString durationText(qint64 msecs);
};
