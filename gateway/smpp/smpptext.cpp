#include "smpptext.h"

#include "smpppdu.h"

#include "pdu/gsmalphabet.h"
#include "pdu/storabletext.h"

#include <QTimeZone>
#include <QtEndian>

namespace SmppText {

namespace {

constexpr quint8 UdhIndicator = 0x40;
constexpr quint8 Concat8 = 0x00;
constexpr quint8 Concat16 = 0x08;

std::optional<QString> decodeRaw(quint8 dataCoding, const QByteArray &octets)
{
    switch (dataCoding) {
    case GsmDefault:
        for (char c : octets) {
            if (quint8(c) > 0x7F)
                return std::nullopt;
        }
        return GsmAlphabet::fromSeptets(octets);
    case Ascii:
        for (char c : octets) {
            if (quint8(c) > 0x7F)
                return std::nullopt;
        }
        return QString::fromLatin1(octets);
    case Latin1:
        return QString::fromLatin1(octets);
    case Ucs2: {
        if (octets.size() % 2 != 0)
            return std::nullopt;
        QString text(octets.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(qFromBigEndian<quint16>(octets.constData() + 2 * i));
        return text;
    }
    default:
        return std::nullopt;
    }
}

int digits(const QByteArray &s, int from, int count, bool *ok)
{
    int v = 0;
    for (int i = from; i < from + count; ++i) {
        const char c = s.at(i);
        if (c < '0' || c > '9') {
            *ok = false;
            return 0;
        }
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace

bool known(quint8 dataCoding)
{
    return dataCoding == GsmDefault || dataCoding == Ascii || dataCoding == Latin1
            || dataCoding == Ucs2;
}

std::optional<QString> decode(quint8 dataCoding, const QByteArray &octets)
{
    auto text = decodeRaw(dataCoding, octets);
    if (text && !storableText(*text))
        return std::nullopt;
    return text;
}

std::pair<quint8, QByteArray> encode(const QString &text)
{
    if (GsmAlphabet::canEncode(text))
        return {GsmDefault, GsmAlphabet::toSeptets(text)};
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        qToBigEndian(text.at(i).unicode(), out.data() + 2 * i);
    return {Ucs2, out};
}

bool split(const Smpp::SubmitSm &submit, std::optional<Part> *part, QByteArray *userData)
{
    part->reset();
    QByteArray data = submit.shortMessage;
    if (data.isEmpty())
        data = submit.tlvs.value(Smpp::Tag::MessagePayload);
    if (submit.esmClass & UdhIndicator) {
        if (data.isEmpty())
            return false;
        const int headerLength = quint8(data.at(0));
        if (headerLength + 1 > data.size())
            return false;
        const QByteArray header = data.mid(1, headerLength);
        for (qsizetype i = 0; i + 1 < header.size();) {
            const quint8 id = quint8(header.at(i));
            const int length = quint8(header.at(i + 1));
            if (i + 2 + length > header.size())
                return false;
            const QByteArray ie = header.mid(i + 2, length);
            if (id == Concat8 && length == 3)
                *part = Part{quint8(ie.at(0)), quint8(ie.at(1)), quint8(ie.at(2))};
            else if (id == Concat16 && length == 4)
                *part = Part{qFromBigEndian<quint16>(ie.constData()), quint8(ie.at(2)),
                             quint8(ie.at(3))};
            i += 2 + length;
        }
        data = data.mid(1 + headerLength);
    } else if (submit.tlvs.contains(Smpp::Tag::SarMsgRefNum)
               || submit.tlvs.contains(Smpp::Tag::SarTotalSegments)
               || submit.tlvs.contains(Smpp::Tag::SarSegmentSeqnum)) {
        const QByteArray ref = submit.tlvs.value(Smpp::Tag::SarMsgRefNum);
        const QByteArray total = submit.tlvs.value(Smpp::Tag::SarTotalSegments);
        const QByteArray number = submit.tlvs.value(Smpp::Tag::SarSegmentSeqnum);
        if (ref.size() != 2 || total.size() != 1 || number.size() != 1)
            return false;
        *part = Part{qFromBigEndian<quint16>(ref.constData()), quint8(total.at(0)),
                     quint8(number.at(0))};
    }
    if (*part && ((*part)->total == 0 || (*part)->number == 0 || (*part)->number > (*part)->total))
        return false;
    // A "part" 1 of 1 is a whole message.
    if (*part && (*part)->total == 1)
        part->reset();
    *userData = data;
    return true;
}

std::optional<QDateTime> parseTime(const QByteArray &field, const QDateTime &now)
{
    if (field.isEmpty())
        return QDateTime();
    if (field.size() != 16)
        return std::nullopt;
    bool ok = true;
    const int yy = digits(field, 0, 2, &ok);
    const int mo = digits(field, 2, 2, &ok);
    const int dd = digits(field, 4, 2, &ok);
    const int hh = digits(field, 6, 2, &ok);
    const int mi = digits(field, 8, 2, &ok);
    const int ss = digits(field, 10, 2, &ok);
    digits(field, 12, 1, &ok); // tenths of a second: the columns keep whole seconds
    const int quarters = digits(field, 13, 2, &ok);
    const char p = field.at(15);
    if (!ok)
        return std::nullopt;
    if (p == 'R') {
        if (mo > 11 || dd > 30 || hh > 23 || mi > 59 || ss > 59)
            return std::nullopt;
        const QDateTime t = now.addYears(yy).addMonths(mo).addDays(dd).addSecs(
                qint64(hh) * 3600 + mi * 60 + ss);
        return QDateTime::fromSecsSinceEpoch(t.toSecsSinceEpoch()).toLocalTime();
    }
    if ((p != '+' && p != '-') || quarters > 48)
        return std::nullopt;
    const QDate date(2000 + yy, mo, dd);
    const QTime time(hh, mi, ss);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const int offset = (p == '+' ? 1 : -1) * quarters * 15 * 60;
    return QDateTime(date, time, QTimeZone(offset)).toLocalTime();
}

QByteArray receiptDate(const QDateTime &at)
{
    return at.toLocalTime().toString(QStringLiteral("yyMMddHHmm")).toLatin1();
}

} // namespace SmppText
