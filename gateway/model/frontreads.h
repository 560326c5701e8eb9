#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// What a front end reads back from the tables through EngineApi, on a connection of its own.

// One row of SMS with its latest delivery report, as the API shows it.
struct StoredMessage
{
    qint64 id = 0;
    QString number;
    QString text;
    int status = 0; // the Status column
    QDateTime handledAt;
    // TP-ST of the latest report, when one came.
    std::optional<int> reportStatus;
    QDateTime reportAt;
    // Why the row went to -1, where the table has the Reason column.
    QString reason{};
    // The port ("Com3") of the device sending it now, when one is.
    QString device{};
};

// One row of smsrecv.
struct ReceivedRow
{
    qint64 id = 0;
    QString number;
    QString text;
    QDateTime receivedAt;
};

// A read's outcome: failed with the database's words, or what it found.
struct MessageRead
{
    bool failed = false;
    QString error;
    // Empty when there is no such row.
    std::optional<StoredMessage> message;
};

struct ReceivedRead
{
    bool failed = false;
    QString error;
    // Oldest first.
    QList<ReceivedRow> rows;
};
