#pragma once

#include "model/webhookcounters.h"
#include "webhookoutbox.h"
#include "webhooksettings.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <map>

class Clock;
class EngineEvents;
class QNetworkReply;
struct DeviceRef;

// Posts what happens to messages to the receivers [Webhooks] names, at least once and under an
// id that follows from what happened (the row and its outcome), so a repeat keeps it. The events
// of a turn go to the durable outbox together, before the engine makes the changes they tell
// of final (EngineEvents::committing) or at the end of the turn; each receiver is then tried on its own, at most a few
// posts at a time and each for at most TimeoutMs, on the engine's loop without ever waiting
// for an answer, so a slow or dead receiver holds up no modem, no queue poll and no other
// receiver. Tries that fail are made again after 1 s, 2 s, 4 s ... up to RetryMax, until
// RetryFor has passed since the event; then it is dropped with a line in the log.
class WebhookDispatcher : public QObject
{
    Q_OBJECT

public:
    using Log = std::function<void(const QString &)>;

    static constexpr int TimeoutMs = 10000;
    static constexpr int MaxPostsPerUrl = 4;

    WebhookDispatcher(EngineEvents &events, const QString &programDir, const Clock &clock, Log log,
                      QObject *parent = nullptr);
    ~WebhookDispatcher() override;

    static QString outboxFolder(const QString &programDir);

    // At every start and reload. The outbox is read when the webhooks are first enabled;
    // events waiting for a receiver no longer named are dropped.
    void configure(const WebhookSettings &settings);
    WebhookCounters counters() const;
    // Tries what is due now; the timer calls it when the next try is due.
    void deliverDue();

    // The wait before the next try after `failures` failed ones.
    static qint64 backoffSeconds(int failures, const WebhookSettings &settings);

private:
    void follow(bool on);
    struct Pending
    {
        WebhookEntry entry;
        int failures = 0;
        QDateTime due;
        bool posting = false;
        QString lastError;
    };

    void record(const QString &type, const QString &id, const QByteArray &body);
    // Writes the events recorded since the last time to the outbox, with one flush.
    void save();
    void post(Pending &pending);
    void answered(QNetworkReply *reply, const QString &key);
    void failed(Pending &pending, const QString &why);
    void drop(const QString &key, const QString &why);
    void schedule();
    void loadOutbox();

    EngineEvents &m_events;
    const Clock &m_clock;
    Log m_log;
    WebhookSettings m_settings;
    WebhookOutbox m_outbox;
    bool m_loaded = false;
    // By WebhookEntry::key(), which sorts oldest first.
    std::map<QString, Pending> m_pending;
    // Recorded, not yet in the outbox.
    QList<WebhookEntry> m_unsaved;
    QTimer m_saveTimer;
    QHash<QString, int> m_posting;
    QSet<QNetworkReply *> m_replies;
    QNetworkAccessManager m_network;
    QTimer m_timer;
    WebhookCounters m_counters;
    bool m_following = false;
};
