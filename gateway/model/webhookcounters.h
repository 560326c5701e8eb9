#pragma once

#include <QtGlobal>

// What /metrics and the status page show of the webhooks.
struct WebhookCounters
{
    quint64 delivered = 0; // tries a receiver answered with 2xx
    quint64 failed = 0;    // tries that failed: another status, no answer in time, no link
    quint64 dropped = 0;   // events given up on after the retry period
    qsizetype outbox = 0;  // events waiting for their receiver now
};
