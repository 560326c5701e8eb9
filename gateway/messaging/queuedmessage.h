#pragma once

#include <QString>

// One outgoing message in memory: the four columns of a pending row, as trimmed texts.
struct QueuedMessage
{
    QString SysNo;
    QString CellNumber;
    QString SMSContent;
    QString Status;

    bool isEmpty() const { return SysNo.isEmpty(); }
};
