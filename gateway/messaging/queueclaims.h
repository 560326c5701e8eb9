#pragma once

#include <QList>
#include <QString>
#include <functional>

class Clock;
class DBHelper;
struct QueuedMessage;

// This gateway's side of a queue that several gateways share: a row is sent only by the
// gateway whose conditional update took it from 0 to 1, so no row goes out twice.
class QueueClaims
{
public:
    enum class Result { Claimed, TakenByAnother, Failed };

    using Log = std::function<void(const QString &)>;

    QueueClaims(DBHelper &db, const Clock &clock, Log log);

    // Whether the SMS table has the Gateway column that a shared queue writes.
    bool tableReady(QString *error);
    Result claim(const QueuedMessage &message, const QString &gateway);
    void release(const QueuedMessage &message, const QString &gateway);

    qint64 lostClaims() const { return m_lost; }
    // Rows at 1 by the name of the gateway that claimed them; empty when it cannot be read.
    QList<std::pair<QString, qint64>> handedByGateway();

private:
    DBHelper &m_db;
    const Clock &m_clock;
    Log m_log;
    qint64 m_lost = 0;
};
