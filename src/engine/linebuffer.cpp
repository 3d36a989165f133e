#include "engine/linebuffer.h"

#include <algorithm>
#include <cstring>

void LineBuffer::append(QByteArrayView bytes)
{
    // Drop what was taken before the buffer grows: what is left is lines not
    // yet taken and at most one partial line of at most maxLine() bytes.
    if (m_pos > 0) {
        m_buf.remove(0, m_pos);
        m_partial -= m_pos;
        for (qsizetype &c : m_cut)
            c -= m_pos;
        m_pos = 0;
    }
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    // Most reads hold only lines within the cap: those are kept in one copy.
    if (!m_discarding) {
        qsizetype start = m_partial - m_buf.size(); // the held partial line goes on
        const char *lastLf = nullptr;
        bool fits = true;
        for (const char *q = p; q < end;) {
            const auto *lf = static_cast<const char *>(std::memchr(q, '\n', size_t(end - q)));
            if (((lf ? lf : end) - p) - start > m_maxLine) {
                fits = false;
                break;
            }
            if (!lf)
                break;
            lastLf = lf;
            q = lf + 1;
            start = q - p;
        }
        if (fits) {
            m_buf.append(p, end - p);
            if (lastLf)
                m_partial = m_buf.size() - (end - (lastLf + 1));
            return;
        }
    }
    while (p < end) {
        const auto *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *const stop = lf ? lf : end;
        if (!m_discarding) {
            // One byte more than a line may hold: room for the CR of CR LF.
            const qsizetype room = m_maxLine + 1 - (m_buf.size() - m_partial);
            const qsizetype n = stop - p;
            if (n <= room) {
                m_buf.append(p, n);
            } else {
                m_buf.append(p, room);
                m_discarding = true;
            }
        }
        if (!lf)
            break;
        const qsizetype len = m_buf.size() - m_partial;
        if (m_discarding || (len > m_maxLine && m_buf.back() != '\r')) {
            m_buf.resize(m_partial + std::min(len, m_maxLine));
            m_cut.push_back(m_buf.size());
        }
        m_buf.append('\n');
        m_partial = m_buf.size();
        m_discarding = false;
        p = lf + 1;
    }
}

bool LineBuffer::takeLine(QByteArrayView &line, bool *overlong)
{
    if (m_pos >= m_partial)
        return false;
    const qsizetype lf = m_buf.indexOf('\n', m_pos);
    qsizetype end = lf;
    const bool cut = !m_cut.empty() && m_cut.front() == lf;
    if (cut)
        m_cut.pop_front();
    else if (end > m_pos && m_buf.at(end - 1) == '\r')
        --end;
    line = QByteArrayView(m_buf.constData() + m_pos, end - m_pos);
    m_pos = lf + 1;
    if (overlong)
        *overlong = cut;
    return true;
}

void LineBuffer::clear()
{
    m_buf.clear();
    m_pos = 0;
    m_partial = 0;
    m_discarding = false;
    m_cut.clear();
}
