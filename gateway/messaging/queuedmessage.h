#pragma once

#include <QString>

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

    bool isEmpty() const { return SysNo.isEmpty(); }
};
