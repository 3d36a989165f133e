#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <deque>

// Received bytes cut into lines. Bytes go in as they arrive; complete lines
// come out without their line end (LF, or CR LF); a partial line waits for
// the rest. A line longer than maxLine() keeps its first maxLine() bytes, the
// rest of it is dropped as it arrives and the line comes out marked as
// over-long, so memory never grows with a line.
//
// The NNTP multi-line block rules (RFC 3977 section 3.1.1) are here too: a
// line of "." alone ends a block, and any other line that begins with "."
// came with one more "." in front.
class LineBuffer final {
public:
    // Longer than any header or encoded body line a poster's software writes.
    static constexpr qsizetype DefaultMaxLine = 32 * 1024;

    explicit LineBuffer(qsizetype maxLine = DefaultMaxLine) : m_maxLine(maxLine) {}

    void append(QByteArrayView bytes);
    // The next complete line, valid until the next append() or clear().
    // false when none is complete. *overlong tells whether it was cut.
    bool takeLine(QByteArrayView &line, bool *overlong = nullptr);
    void clear();

    qsizetype maxLine() const { return m_maxLine; }
    // Bytes held: complete lines not yet taken and the partial line (at most
    // maxLine() + 1 bytes of it).
    qsizetype size() const { return m_buf.size() - m_pos; }
    bool isEmpty() const { return size() == 0; }
    // The bytes held, as they came for lines within the cap.
    QByteArrayView pending() const { return QByteArrayView(m_buf).sliced(m_pos); }

    // The end line of a multi-line block.
    static bool isBlockEnd(QByteArrayView line) { return line.size() == 1 && line[0] == '.'; }
    // A block line without the "." the server put in front of it.
    static QByteArrayView unstuffed(QByteArrayView line)
    {
        return !line.isEmpty() && line[0] == '.' ? line.sliced(1) : line;
    }

private:
    QByteArray m_buf;            // lines from m_pos on, each ended by LF but the last
    qsizetype m_pos = 0;         // start of the first line not taken
    qsizetype m_partial = 0;     // start of the partial line (no LF after it)
    bool m_discarding = false;   // the partial line was cut; its rest is dropped
    std::deque<qsizetype> m_cut; // positions of the LFs that end cut lines
    qsizetype m_maxLine;
};
