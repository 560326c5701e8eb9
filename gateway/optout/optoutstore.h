#pragma once

#include "model/optoutentry.h"
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

class DBHelper;

// The opt-out list in smsoptout, on the engine's connection. Numbers go in and are looked up in
// their canonical form; every answer comes from the table, so gateways sharing a database
// share the list. nullopt (or false) with *error when the database failed or has no table.
class OptOutStore
{
public:
    using Entry = OptOutEntry;

    explicit OptOutStore(DBHelper &db) : m_db(db) { }

    // true when the number was added, false when it was there already; nullopt on failure.
    std::optional<bool> add(const Entry &entry, QString *error);
    // The rows removed (0 or 1); nullopt on failure.
    std::optional<int> remove(const QString &number, QString *error);
    std::optional<QList<Entry>> list(QString *error);
    // Which of these numbers are on the list.
    std::optional<QSet<QString>> listed(const QStringList &numbers, QString *error);

private:
    DBHelper &m_db;
};
