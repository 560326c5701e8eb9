#pragma once

#include "model/frontreads.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <optional>

class DBHelper;

// Reads what the gateway and the applications left in the tables, on the connection it is given.
class MessageLookup
{
public:
    explicit MessageLookup(DBHelper &db) : m_db(db) { }

    // nullopt with *error when the database failed; a missing row is an empty optional inside.
    std::optional<std::optional<StoredMessage>> message(qint64 id, QString *error);
    // Received messages after the one numbered after, oldest first, at most limit.
    std::optional<QList<ReceivedRow>> received(qint64 after, int limit, QString *error);

    // The tables' time values as the drivers give them: text on SQLite, a date on the servers.
    static QDateTime timeValue(const QString &text);

private:
    std::optional<QStringList> readRow(qint64 id, QString *error);

    DBHelper &m_db;
    // Set while the table is known to have no Reason column; the upgrade command may add it
    // while the gateway runs, so the knowledge is dropped after a while.
    QElapsedTimer m_noReason;
};
