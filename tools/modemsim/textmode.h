#pragma once

#include "pdu/pduencoder.h"

#include <QByteArray>
#include <QString>

// Text mode (AT+CMGF=1) as the modem writes and reads it: texts in the character set AT+CSCS
// chose, stored messages as +CMGR and +CMGL entries.
class TextMode
{
public:
    explicit TextMode(const QByteArray &charset) : m_charset(charset) { }

    QByteArray encode(const QString &text) const;
    QString decode(const QByteArray &text) const;
    // The head line and the text of a stored message; a listing entry (+CMGL) carries its index.
    QByteArray entry(int index, int status, const PduEncoder::Encoded &pdu, bool listing) const;

private:
    QByteArray m_charset;
};
