#pragma once

#include <QByteArrayView>
#include <QString>

// Reads the fields of a PDU with a size check before each one. The first field that does not
// fit stops the reader and names itself in error().
class PduReader
{
public:
    explicit PduReader(QByteArrayView data) : m_data(data) { }

    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    qsizetype remaining() const { return m_data.size() - m_pos; }
    qsizetype position() const { return m_pos; }

    // 0 when the field is missing (and the reader then fails).
    quint8 octet(const char *field);
    // An empty view when the field is missing (and the reader then fails).
    QByteArrayView take(qsizetype n, const char *field);
    void fail(const QString &message);

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    QString m_error;
};
