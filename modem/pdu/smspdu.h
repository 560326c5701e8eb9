#pragma once

#include <QByteArray>
#include <QString>

enum class SmsAlphabet { Gsm7, EightBit, Ucs2 };

// TS 23.040 §9.2.3.24.1 and .8: a message split into parts; one reference for all parts.
struct ConcatInfo
{
    int reference = -1;
    int total = 0;
    int sequence = 0;
    bool sixteenBit = false;

    bool isValid() const { return total > 1 && sequence >= 1 && sequence <= total; }
};

// The user data of one PDU: its alphabet, the information elements of its header (without the
// header length octet) and the text (GSM 7-bit and UCS2) or the octets (8-bit data).
struct UserData
{
    SmsAlphabet alphabet = SmsAlphabet::Gsm7;
    QByteArray header;
    QString text;
    QByteArray data;
};

// One decoded SMS TPDU with the service-centre address the modem put in front of it.
struct SmsPdu
{
    enum class Type { Deliver, Submit, StatusReport };

    Type type = Type::Deliver;
    QString serviceCentre;
    // Originator of a deliver, destination of a submit, recipient of a status report.
    QString address;
    int messageReference = -1;
    quint8 protocolId = 0;
    quint8 dataCoding = 0;
    quint8 messageClass = 0xFF; // 0..3 when the coding names a class
    // Deliver: service-centre time stamp; status report: when the centre got the message.
    QString timestamp;
    QString dischargeTime; // status report
    int status = -1;       // status report TP-ST
    bool statusReportRequested = false;
    UserData userData;
    ConcatInfo concat;
};
