#include "smpppdu.h"

#include <QtEndian>

namespace Smpp {

Frame takeFrame(QByteArray &buffer, Pdu *pdu, quint32 maxLength)
{
    if (buffer.size() < 4)
        return Frame::Incomplete;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length < quint32(HeaderLength) || length > maxLength)
        return Frame::Invalid;
    if (quint64(buffer.size()) < length)
        return Frame::Incomplete;
    const char *p = buffer.constData();
    pdu->command = qFromBigEndian<quint32>(p + 4);
    pdu->status = qFromBigEndian<quint32>(p + 8);
    pdu->sequence = qFromBigEndian<quint32>(p + 12);
    pdu->body = buffer.mid(HeaderLength, qsizetype(length) - HeaderLength);
    buffer.remove(0, qsizetype(length));
    return Frame::Complete;
}

QByteArray encode(const Pdu &pdu)
{
    PduWriter w;
    w.u32(quint32(HeaderLength + pdu.body.size())).u32(pdu.command).u32(pdu.status).u32(
            pdu.sequence);
    w.bytes(pdu.body);
    return w.data();
}

bool PduReader::need(qsizetype n)
{
    if (!m_ok || n < 0 || n > m_data.size() - m_pos) {
        m_ok = false;
        return false;
    }
    return true;
}

quint8 PduReader::u8()
{
    if (!need(1))
        return 0;
    return quint8(m_data.at(m_pos++));
}

quint16 PduReader::u16()
{
    if (!need(2))
        return 0;
    const quint16 v = qFromBigEndian<quint16>(m_data.constData() + m_pos);
    m_pos += 2;
    return v;
}

quint32 PduReader::u32()
{
    if (!need(4))
        return 0;
    const quint32 v = qFromBigEndian<quint32>(m_data.constData() + m_pos);
    m_pos += 4;
    return v;
}

QByteArray PduReader::cstring(int maxSize)
{
    if (!m_ok)
        return {};
    const qsizetype end = m_data.indexOf('\0', m_pos);
    if (end < 0 || end - m_pos + 1 > maxSize) {
        m_ok = false;
        return {};
    }
    QByteArray s = m_data.mid(m_pos, end - m_pos);
    m_pos = end + 1;
    return s;
}

QByteArray PduReader::bytes(int count)
{
    if (!need(count))
        return {};
    QByteArray b = m_data.mid(m_pos, count);
    m_pos += count;
    return b;
}

bool PduReader::tlvs(QHash<quint16, QByteArray> *out)
{
    while (m_ok && !atEnd()) {
        const quint16 tag = u16();
        const quint16 length = u16();
        const QByteArray value = bytes(length);
        if (!m_ok)
            return false;
        if (!out->contains(tag))
            out->insert(tag, value);
    }
    return m_ok;
}

PduWriter &PduWriter::u8(quint8 v)
{
    m_data.append(char(v));
    return *this;
}

PduWriter &PduWriter::u16(quint16 v)
{
    char b[2];
    qToBigEndian(v, b);
    m_data.append(b, 2);
    return *this;
}

PduWriter &PduWriter::u32(quint32 v)
{
    char b[4];
    qToBigEndian(v, b);
    m_data.append(b, 4);
    return *this;
}

PduWriter &PduWriter::cstring(const QByteArray &s)
{
    m_data.append(s);
    m_data.append('\0');
    return *this;
}

PduWriter &PduWriter::bytes(const QByteArray &b)
{
    m_data.append(b);
    return *this;
}

PduWriter &PduWriter::tlv(quint16 tag, const QByteArray &value)
{
    return u16(tag).u16(quint16(value.size())).bytes(value);
}

} // namespace Smpp
