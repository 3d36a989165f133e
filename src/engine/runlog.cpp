#include "engine/runlog.h"

#include "decode/cp932.h"

QString RunLog::summaryPath(const QString &saveDir, const QString &yymmdd)
{
    return saveDir + QLatin1Char('/') + yymmdd + QStringLiteral(".LOG");
}

QString RunLog::tracePath(const QString &saveDir, const QString &yymmdd)
{
    return saveDir + QLatin1Char('/') + yymmdd + QStringLiteral("F.LOG");
}

static bool openAppend(QFile &file, const QString &path)
{
    if (file.isOpen())
        file.close();
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

bool RunLog::openSummary(const QString &path)
{
    return openAppend(m_summary, path);
}

bool RunLog::openTrace(const QString &path)
{
    return openAppend(m_trace, path);
}

void RunLog::closeSummary()
{
    m_summary.close();
}

void RunLog::closeTrace()
{
    m_trace.close();
}

void RunLog::write(QFile &file, QStringView text)
{
    // A character CP932 lacks is written as "〓"; the name on disk keeps it.
    if (file.isOpen())
        file.write(Cp932::encode(text, nullptr, Cp932::kGetaMark));
}

void RunLog::summary(QStringView text)
{
    write(m_summary, text);
}

void RunLog::endRecord()
{
    if (!m_summary.isOpen())
        return;
    // Each record goes to disk when it is complete: a program killed during
    // a run loses at most the record in progress.
    m_summary.write("\r\n", 2);
    m_summary.flush();
}

void RunLog::trace(QStringView line)
{
    if (!m_trace.isOpen())
        return;
    write(m_trace, line);
    m_trace.write("\r\n", 2);
    m_trace.flush();
}
