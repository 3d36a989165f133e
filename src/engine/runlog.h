#pragma once

#include <QFile>
#include <QString>
#include <QStringView>

// The two log files of a run, in the save directory, appended to, CP932 with
// CR LF line ends: the summary log "YYMMDD.LOG" (one record per article,
// written in pieces as the article arrives) and the trace log "YYMMDDF.LOG"
// (every line received outside attachments). Writes go only to a file that
// is open. A summary record and a trace line are on disk once complete. A
// character CP932 lacks is written as "〓".
class RunLog final {
public:
    static QString summaryPath(const QString &saveDir, const QString &yymmdd);
    static QString tracePath(const QString &saveDir, const QString &yymmdd);

    bool openSummary(const QString &path);
    bool openTrace(const QString &path);
    void closeSummary();
    void closeTrace();
    bool summaryOpen() const { return m_summary.isOpen(); }
    bool traceOpen() const { return m_trace.isOpen(); }

    // A piece of the current article's record, written as it stands.
    void summary(QStringView text);
    // Ends the current record (CR LF).
    void endRecord();
    // One received line and CR LF.
    void trace(QStringView line);

private:
    static void write(QFile &file, QStringView text);
    QFile m_summary;
    QFile m_trace;
};
