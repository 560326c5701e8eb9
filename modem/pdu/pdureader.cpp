#include "pdureader.h"

quint8 PduReader::octet(const char *field)
{
    if (!ok())
        return 0;
    if (remaining() < 1) {
        fail(QStringLiteral("PDU ends before %1").arg(QLatin1String(field)));
        return 0;
    }
    return quint8(m_data[m_pos++]);
}

QByteArrayView PduReader::take(qsizetype n, const char *field)
{
    if (!ok())
        return {};
    if (n < 0 || remaining() < n) {
        fail(QStringLiteral("%1 needs %2 octets, %3 left")
                     .arg(QLatin1String(field))
                     .arg(n)
                     .arg(remaining()));
        return {};
    }
    const QByteArrayView v = m_data.sliced(m_pos, n);
    m_pos += n;
    return v;
}

void PduReader::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
}
