#include "textmode.h"

#include "pdu/pdudecoder.h"

namespace {

QByteArray quoted(const QString &s)
{
    return '"' + s.toUtf8() + '"';
}

QString textTimestamp(const QString &ts)
{
    // "240315102030+32" -> "24/03/15,10:20:30+32"
    if (ts.size() < 15)
        return ts;
    return ts.mid(0, 2) + QLatin1Char('/') + ts.mid(2, 2) + QLatin1Char('/') + ts.mid(4, 2)
            + QLatin1Char(',') + ts.mid(6, 2) + QLatin1Char(':') + ts.mid(8, 2) + QLatin1Char(':')
            + ts.mid(10, 2) + ts.mid(12);
}

} // namespace

QByteArray TextMode::encode(const QString &text) const
{
    if (m_charset == "UCS2") {
        QByteArray out;
        for (QChar c : text)
            out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
        return out;
    }
    return text.toUtf8();
}

QString TextMode::decode(const QByteArray &text) const
{
    if (m_charset == "UCS2") {
        QString out;
        for (qsizetype i = 0; i + 4 <= text.size(); i += 4)
            out.append(QChar(char16_t(text.mid(i, 4).toUShort(nullptr, 16))));
        return out;
    }
    return QString::fromUtf8(text);
}

QByteArray TextMode::entry(int index, int status, const PduEncoder::Encoded &pdu,
                           bool listing) const
{
    const auto decoded = PduDecoder::decode(pdu.octets, nullptr);
    const QByteArray state = status == 0 ? "\"REC UNREAD\"" : "\"REC READ\"";
    const QByteArray head =
            listing ? "+CMGL: " + QByteArray::number(index) + ',' + state : "+CMGR: " + state;
    if (!decoded)
        return head;
    return head + ',' + quoted(decoded->address) + ",," + quoted(textTimestamp(decoded->timestamp))
            + "\r\n" + encode(decoded->userData.text);
}
