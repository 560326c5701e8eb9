#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// A row long in a modem's hands, as the operator decides whether to send it again.
struct StuckRow
{
    qint64 id = 0; // SysNo
    QString number;
    QString device; // the gateway's port label ("Com3") or the claiming gateway's name
    QDateTime since;

    bool operator==(const StuckRow &) const = default;
};

// The queue as the database holds it, not only what is loaded, read at the supervision tick on
// the database link so that no page request costs SQL. -1 while not known.
struct QueueFigures
{
    static constexpr int MaxStuckRows = 100;

    qint64 waiting = -1; // rows at 0
    qint64 handed = -1;  // rows at 1
    // Rows at 1 longer than stuckAfterMinutes, oldest first, at most MaxStuckRows.
    QList<StuckRow> stuck;
    qint64 failedLastHour = -1; // rows at -1 with HandleTime in the last hour
    qint64 failedLastDay = -1;
    qint64 oldestWaitingSeconds = -1; // age of the oldest row at 0; -1 when none
    QDateTime readAt;

    bool operator==(const QueueFigures &) const = default;
};
