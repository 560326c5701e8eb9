#include "atlinesplitter.h"

bool AtLineSplitter::next(QByteArray *line)
{
    for (;;) {
        while (m_pos < m_buffer.size() && (m_buffer[m_pos] == '\r' || m_buffer[m_pos] == '\n'))
            ++m_pos;
        if (m_pos >= m_buffer.size()) {
            m_buffer.clear();
            m_pos = 0;
            m_scanned = 0;
            return false;
        }
        if (m_expectPrompt && m_buffer[m_pos] == '>') {
            ++m_pos;
            if (m_pos < m_buffer.size() && m_buffer[m_pos] == ' ')
                ++m_pos;
            m_expectPrompt = false;
            *line = QByteArrayLiteral(">");
            return true;
        }
        // A line that arrives a byte at a time is searched for its end only once.
        qsizetype end = qMax(m_pos, m_scanned);
        while (end < m_buffer.size() && m_buffer[end] != '\r' && m_buffer[end] != '\n')
            ++end;
        if (end >= m_buffer.size()) {
            if (end - m_pos < MaxLineLength) {
                // Incomplete: keep it, and drop what was consumed so the buffer stays small.
                m_buffer.remove(0, m_pos);
                m_scanned = end - m_pos;
                m_pos = 0;
                return false;
            }
            // A runaway line of noise: hand it on in pieces rather than grow without bound.
            end = m_pos + MaxLineLength;
        }
        *line = m_buffer.sliced(m_pos, end - m_pos);
        m_pos = end;
        m_scanned = 0;
        if (!line->isEmpty())
            return true;
    }
}

void AtLineSplitter::clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_scanned = 0;
    m_expectPrompt = false;
}
