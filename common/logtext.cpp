#include "logtext.h"

namespace {

bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

void appendEscape(QString &out, char16_t c)
{
    switch (c) {
    case u'\n':
        out += QLatin1String("\\n");
        return;
    case u'\r':
        out += QLatin1String("\\r");
        return;
    case u'\t':
        out += QLatin1String("\\t");
        return;
    default:
        break;
    }
    const QString hex = QString::number(uint(c), 16).toUpper();
    if (c <= 0xFF)
        out += QLatin1String("\\x") + hex.rightJustified(2, QLatin1Char('0'));
    else
        out += QLatin1String("\\u") + hex.rightJustified(4, QLatin1Char('0'));
}

} // namespace

QString loggableText(const QString &message)
{
    qsizetype first = 0;
    while (first < message.size() && !needsEscape(message.at(first).unicode()))
        ++first;
    if (first == message.size())
        return message;
    QString out = message.left(first);
    out.reserve(message.size() + 8);
    for (qsizetype i = first; i < message.size(); ++i) {
        const char16_t c = message.at(i).unicode();
        if (needsEscape(c))
            appendEscape(out, c);
        else
            out += QChar(c);
    }
    return out;
}
