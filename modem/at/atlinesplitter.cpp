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
        bool incomplete = false;
        if (const qsizetype quoted = quotedUssdEnd(&incomplete); quoted >= 0) {
            *line = m_buffer.sliced(m_pos, quoted - m_pos);
            m_pos = quoted;
            m_scanned = 0;
            return true;
        }
        if (incomplete)
            return false;
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

qsizetype AtLineSplitter::quotedUssdEnd(bool *incomplete) const
{
    // The longest USSD text, in UCS2 hexadecimal, with room to spare: a quote that does not
    // close within it was no text, and the line ends at its first break as any other.
    constexpr qsizetype MaxUssdLine = 1024;
    if (!QByteArrayView(m_buffer).sliced(m_pos).startsWith("+CUSD:"))
        return -1;
    bool inQuote = false;
    bool brokeInQuote = false;
    const qsizetype limit = qMin(m_buffer.size(), m_pos + MaxUssdLine);
    for (qsizetype i = m_pos; i < limit; ++i) {
        const char c = m_buffer[i];
        if (c == '"')
            inQuote = !inQuote;
        else if (c == '\r' || c == '\n') {
            if (!inQuote)
                return brokeInQuote ? i : -1;
            // A final result or another code after the break: the quote was a stray one.
            const QByteArrayView rest = QByteArrayView(m_buffer).sliced(i).trimmed();
            if (rest.startsWith("OK") || rest.startsWith("ERROR") || rest.startsWith("+C"))
                return -1;
            brokeInQuote = true;
        }
    }
    // Not closed yet: wait for more unless the line has outgrown any USSD text.
    *incomplete = brokeInQuote && limit == m_buffer.size() && limit < m_pos + MaxUssdLine;
    return -1;
}

void AtLineSplitter::clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_scanned = 0;
    m_expectPrompt = false;
}
