#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// A message an application queues through the engine rather than by inserting the row itself.
struct OutgoingMessage
{
    QString number;
    QString text;
    // The optional columns Priority, SendAfter and ValidUntil; unset ones stay NULL.
    std::optional<int> priority{};
    QDateTime sendAfter{};
    QDateTime validUntil{};
};

// What became of a batch queued through the engine: the SysNo of each row, in order, or why
// none was queued (the rows go in one transaction, all or none).
struct QueueResult
{
    QList<qint64> ids;
    QString error;
    // Set when the request, not the database, is at fault: the field the table cannot hold.
    QString field{};
    bool ok() const { return error.isEmpty(); }
};
