#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

// The Status column of SMS: what the gateway knows of a row's message.
enum class RowStatus {
    Pending = 0, // waiting to be sent
    Handed = 1,  // handed to a modem; its outcome is not known yet
    Sent = 2,    // reached the GSM network
    Failed = -1, // the network refused it or the modem failed
};

// The number the Status column holds for a status.
inline QString statusText(RowStatus status)
{
    return QString::number(int(status));
}

// One outgoing message in memory: the columns of a pending row, texts trimmed.
struct QueuedMessage
{
    QString SysNo;
    QString CellNumber;
    QString SMSContent;
    RowStatus Status = RowStatus::Pending;
    // This gateway's claim on the row in a shared queue succeeded; its Status is 1 already.
    bool claimed = false;
    // The optional columns Priority, SendAfter and ValidUntil; 0 and invalid where the table
    // has none or they are empty.
    int Priority = 0;
    QDateTime SendAfter{};
    QDateTime ValidUntil{};
    // The column and text of a SendAfter or ValidUntil that is no time ("ValidUntil=soon");
    // such a row is not sent.
    QString invalidTime{};
    // The sending policy's notes: the route of the number (-2 until it is looked up), the
    // parts on the air (0 until they are counted), and the devices that refused it for certain.
    int route = -2;
    int parts = 0;
    QList<int> refusedBy{};

    bool isEmpty() const { return SysNo.isEmpty(); }
};

// Its members move as bytes, so a long queue shifts by memmove when a row leaves its middle.
Q_DECLARE_TYPEINFO(QueuedMessage, Q_RELOCATABLE_TYPE);
