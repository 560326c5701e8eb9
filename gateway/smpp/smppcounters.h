#pragma once

#include <QtGlobal>

// What the SMPP server has done since the program started, for the status page and /metrics.
struct SmppCounters
{
    bool listening = false;
    int sessions = 0;       // bound now
    qint64 binds = 0;
    qint64 bindsRefused = 0;
    qint64 submits = 0;      // rows committed from submit_sm and submit_multi
    qint64 submitsRefused = 0;
    qint64 throttled = 0;
    qint64 delivered = 0;    // deliver_sm acknowledged
    qint64 waiting = 0;      // receipts and received messages in the outbox
};
