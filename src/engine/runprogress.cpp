#include "engine/runprogress.h"

#include "engine/runstate.h"

#include <QLocale>

#include <algorithm>

int RunProgress::articlePermille(const RunState &st)
{
    if (!st.inArticle)
        return 0;
    if (st.linesValue <= 0)
        return -1;
    const qint64 done = std::max<qint64>(st.bodyLineCount, 0);
    return static_cast<int>(std::min<qint64>(1000, done * 1000 / st.linesValue));
}

QString RunProgress::rateText(double bytesPerSecond)
{
    if (bytesPerSecond < 0)
        return QString();
    const QLocale c = QLocale::c();
    if (bytesPerSecond >= 1024.0 * 1024.0)
        return c.toString(bytesPerSecond / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB/s");
    return c.toString(bytesPerSecond / 1024.0, 'f', 1) + QStringLiteral(" KB/s");
}

void RateMeter::sample(qint64 totalBytes, qint64 msecs)
{
    // A count that went back belongs to a new run.
    if (!m_samples.empty() &&
        (totalBytes < m_samples.back().bytes || msecs < m_samples.back().msecs))
        m_samples.clear();
    m_samples.push_back({totalBytes, msecs});
    while (m_samples.size() > 2 && msecs - m_samples[1].msecs >= kWindowMs)
        m_samples.pop_front();
}

double RateMeter::bytesPerSecond() const
{
    if (m_samples.size() < 2)
        return -1;
    const Sample &a = m_samples.front();
    const Sample &b = m_samples.back();
    if (b.msecs <= a.msecs)
        return -1;
    return static_cast<double>(b.bytes - a.bytes) * 1000.0 / static_cast<double>(b.msecs - a.msecs);
}
