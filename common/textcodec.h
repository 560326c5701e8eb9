#pragma once

#include <QByteArray>
#include <QString>

// Text files written by operators on Chinese desktops come in UTF-8 or in GBK; a file is read
// in whichever it is and written back in the same encoding.
enum class TextEncoding { Utf8, Gbk };

struct DecodedText
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};

DecodedText decodeText(const QByteArray &bytes);
QByteArray encodeText(const QString &text, TextEncoding encoding);
QString decodeGbk(const QByteArray &bytes);

// A UTF-16 text in which every surrogate stands in a pair: a lone half (from a damaged or
// crafted message) becomes U+FFFD. Databases read the unit after a lone high surrogate as its
// second half, so one must never reach them.
QString withoutLoneSurrogates(QString text);
