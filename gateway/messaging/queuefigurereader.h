#pragma once

#include "model/queuefigures.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <utility>

class DBHelper;

// Reads the queue's figures for the console at the supervision tick, over the gateway's
// connection (so on the database link, never on a page request). The table keeps no insert
// time, so a waiting row's age counts from the first tick whose newest SysNo was at least its
// own (keys only grow): a lower bound, exact to a tick, for at most a day.
class QueueFigureReader
{
public:
    // The device (or the claiming gateway) that holds a row at 1; empty when not known.
    using Holder = std::function<QString(qint64 id, const QString &gateway)>;

    explicit QueueFigureReader(DBHelper &db) : m_db(db) { }

    // Figures left at -1 are those the database did not give.
    QueueFigures read(const QDateTime &now, int stuckAfterMinutes, bool sharing,
                      const Holder &holder);
    // The server and its version, read once a connection.
    const QString &serverVersion();
    // A new connection: its server may be another.
    void forget();

private:
    void readCounts(QueueFigures &figures, const QDateTime &now);
    // How long row id has been in the table as far as the ticks tell.
    qint64 ageOf(qint64 id, const QDateTime &now) const;
    void readFailed(QueueFigures &figures, const QDateTime &now);
    void readStuck(QueueFigures &figures, const QDateTime &before, bool sharing,
                   const Holder &holder);

    DBHelper &m_db;
    // The newest SysNo at each tick of the last day, oldest first.
    QList<std::pair<QDateTime, qint64>> m_newest;
    QString m_version;
};
