#pragma once

#include <QList>
#include <QString>

// A message an application queues through the engine rather than by inserting the row itself.
struct OutgoingMessage
{
    QString number;
    QString text;
};

// What became of a batch queued through the engine: the SysNo of each row, in order, or why
// none was queued (the rows go in one transaction, all or none).
struct QueueResult
{
    QList<qint64> ids;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
