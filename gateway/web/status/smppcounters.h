#pragma once

#include <QString>
#include <QtGlobal>

// What the SMPP server has done since the program started, for the status page and /metrics.
// One set per program, counted by the server on the engine's thread, where the pages read it too.
// It lives with the pages: the server builds on the web library, never the other way round.
struct SmppCounters
{
    bool listening = false;
    int sessions = 0; // bound now
    qint64 binds = 0;
    qint64 bindsRefused = 0;
    qint64 submits = 0; // rows committed from submit_sm and submit_multi
    qint64 submitsRefused = 0;
    qint64 throttled = 0;
    qint64 delivered = 0; // deliver_sm acknowledged
    qint64 waiting = 0;   // receipts and received messages in the outbox

    static SmppCounters &shared()
    {
        static SmppCounters counters;
        return counters;
    }

    // The Prometheus text for /metrics; empty while no SMPP server listens.
    QString metricsText() const
    {
        if (!listening)
            return {};
        QString out;
        const auto metric = [&out](const char *name, const char *type, const char *help,
                                   const QString &samples) {
            out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n%4")
                           .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type),
                                samples);
        };
        const auto one = [](const char *name, qint64 v, const char *labels = "") {
            return QStringLiteral("%1%2 %3\n").arg(QLatin1String(name), QLatin1String(labels)).arg(v);
        };
        metric("velmora_smpp_sessions", "gauge", "SMPP sessions bound now.",
               one("velmora_smpp_sessions", sessions));
        metric("velmora_smpp_binds_total", "counter", "SMPP binds by result.",
               one("velmora_smpp_binds_total", binds, "{result=\"bound\"}")
                       + one("velmora_smpp_binds_total", bindsRefused, "{result=\"refused\"}"));
        metric("velmora_smpp_submits_total", "counter", "SMPP submits by result.",
               one("velmora_smpp_submits_total", submits, "{result=\"queued\"}")
                       + one("velmora_smpp_submits_total", submitsRefused, "{result=\"refused\"}")
                       + one("velmora_smpp_submits_total", throttled, "{result=\"throttled\"}"));
        metric("velmora_smpp_delivered_total", "counter",
               "Receipts and received messages SMPP clients acknowledged.",
               one("velmora_smpp_delivered_total", delivered));
        metric("velmora_smpp_outbox", "gauge",
               "Receipts and received messages waiting for an SMPP session.",
               one("velmora_smpp_outbox", waiting));
        return out;
    }
};
