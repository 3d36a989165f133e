#pragma once

#include <QString>

#include <deque>

struct RunState;

// The progress of the article being received and the transfer rate, as the
// main window's bar and rate label show them.
namespace RunProgress {

// The article's progress in thousandths: from its Lines: header when it
// has one (bodyLineCount of linesValue, at most 1000); -1 when an article
// is being received without one (the bar cannot know how far it is); 0
// when no article is being received.
int articlePermille(const RunState &st);

// "12.3 KB/s", "1.5 MB/s"; empty for a negative rate (not known yet).
QString rateText(double bytesPerSecond);

} // namespace RunProgress

// The rate of a growing byte count over the last few seconds. Samples are
// given as (total bytes so far, milliseconds on a steady clock).
class RateMeter final {
public:
    static constexpr qint64 kWindowMs = 3000;

    void reset() { m_samples.clear(); }
    void sample(qint64 totalBytes, qint64 msecs);
    // Bytes per second over the window; -1 until two samples lie apart.
    double bytesPerSecond() const;

private:
    struct Sample {
        qint64 bytes;
        qint64 msecs;
    };
    std::deque<Sample> m_samples;
};
