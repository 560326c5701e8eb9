#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Cuts the byte stream of a modem into response lines. Lines end in CR, LF or both; empty
// lines are dropped. While a command waits for the "> " prompt of TS 27.005 §3.5.1 (which
// has no line end), a '>' at the start of a line is returned at once as the line ">". Line
// breaks inside the quoted text of a +CUSD answer belong to it.
class AtLineSplitter
{
public:
    static constexpr qsizetype MaxLineLength = 4096;

    void feed(QByteArrayView bytes) { m_buffer.append(bytes); }
    void setExpectPrompt(bool expect) { m_expectPrompt = expect; }
    bool expectsPrompt() const { return m_expectPrompt; }
    // The next complete line, false when none is complete yet.
    bool next(QByteArray *line);
    void clear();

private:
    // Where the line at m_pos ends when it is a USSD answer whose quoted text holds line breaks
    // (menus do); -1 when it is none, or its text has not closed yet.
    qsizetype quotedUssdEnd(bool *incomplete) const;

    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_scanned = 0; // where the search for the end of the current line goes on
    bool m_expectPrompt = false;
};
