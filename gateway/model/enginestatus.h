#pragma once

#include "devicestatus.h"
#include "queuefigures.h"

#include "senddurations.h"
#include "webhookcounters.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

// Everything the page, the metrics, the API and systemd show, as one value the engine keeps up
// to date on its own thread. Reading it costs no SQL: database figures in it were read at the
// last supervision tick.
struct EngineStatus
{
    bool running = false;
    bool databaseUp = false;
    // Why the database is down, as its client said at the last try; empty while it is up.
    QString databaseReason;
    // The database server and its version ("PostgreSQL 15.5"), read once a connection.
    QString version;
    // Why the gateway cannot send while it runs (a refused shared queue, no database); empty
    // when it can.
    QString cannotSend;
    QList<DeviceStatus> devices;
    // Several gateways share the queue (GatewayName is set).
    bool sharedQueue = false;
    int queueLength = 0;
    int spoolEntries = 0;
    // Only while [Webhooks] names a receiver.
    bool webhooksOn = false;
    WebhookCounters webhooks;
    qint64 claimsLost = 0;
    // Rows at 1 for each gateway that claimed them (shared queue only), as of healthAt.
    QList<QPair<QString, qint64>> handedByGateway;
    QDateTime startedAt;
    QDateTime lastPoll;
    QDateTime countsAt;
    // Rows at 1 longer than stuckAfterMinutes, read at the last supervision tick; -1 while not
    // known.
    qint64 rowsStuck = -1;
    int stuckAfterMinutes = 10;
    // The queue in the database, as of the last supervision tick.
    QueueFigures queue;
    SendDurations sendDurations;

    int devicesUp() const
    {
        int up = 0;
        for (const DeviceStatus &d : devices)
            up += d.link == LinkState::Idle || d.link == LinkState::Sending;
        return up;
    }
};
