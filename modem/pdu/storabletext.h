#pragma once

#include <QString>

// A text the databases store unchanged and the PDU encoder can carry: no lone half of a
// surrogate pair (JSON may escape one, a client's UCS2 may cut one) and no NUL, which PostgreSQL
// refuses. Every way in (the API, SMPP) checks a message's text with this before queueing it.
inline bool storableText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() == 0)
            return false;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            return false;
    }
    return true;
}
