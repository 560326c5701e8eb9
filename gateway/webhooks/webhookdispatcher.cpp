#include "webhookdispatcher.h"

#include "webhookpayload.h"
#include "webhooksigner.h"

#include "common/clock.h"
#include "model/engineevents.h"
#include "simpoolpayload.h"

#include <QCryptographicHash>
#include <QNetworkReply>
#include <QUuid>

WebhookDispatcher::WebhookDispatcher(EngineEvents &events, const QString &programDir,
                                     const Clock &clock, Log log, QObject *parent)
    : QObject(parent), m_events(events), m_clock(clock), m_log(std::move(log)),
      m_outbox(outboxFolder(programDir))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WebhookDispatcher::deliverDue);
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(0);
    connect(&m_saveTimer, &QTimer::timeout, this, &WebhookDispatcher::save);
}

WebhookDispatcher::~WebhookDispatcher()
{
    save();
    // What is on its way stays in the outbox for the next start.
    for (QNetworkReply *reply : std::as_const(m_replies)) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
    }
}

QString WebhookDispatcher::outboxFolder(const QString &programDir)
{
    return programDir + QStringLiteral("/webhooks");
}

qint64 WebhookDispatcher::backoffSeconds(int failures, const WebhookSettings &settings)
{
    qint64 wait = settings.retryFirstSeconds;
    for (int i = 1; i < failures && wait < settings.retryMaxSeconds; ++i)
        wait *= 2;
    return qMin<qint64>(wait, settings.retryMaxSeconds);
}

// Followed only while webhooks are on: the engine then makes no event values at all.
void WebhookDispatcher::follow(bool on)
{
    if (on == m_following)
        return;
    m_following = on;
    if (!on) {
        disconnect(&m_events, nullptr, this, nullptr);
        return;
    }
    // Each id names the row and what became of it: told again after a crash, an event keeps it.
    connect(&m_events, &EngineEvents::messageSent, this,
            [this](qint64 id, const QString &number, const DeviceRef &device, const QDateTime &at) {
                record(QStringLiteral("message.sent"), QStringLiteral("sms-%1-sent").arg(id),
                       WebhookPayload::sent(id, number, device, at));
            });
    connect(&m_events, &EngineEvents::messageFailed, this,
            [this](qint64 id, const QString &number, const DeviceRef &device, const QString &reason,
                   const QDateTime &at) {
                record(QStringLiteral("message.failed"), QStringLiteral("sms-%1-failed").arg(id),
                       WebhookPayload::failed(id, number, device, reason, at));
            });
    connect(&m_events, &EngineEvents::messageDelivered, this,
            [this](qint64 id, const QString &number, int status, const QDateTime &at) {
                record(QStringLiteral("message.delivered"),
                       QStringLiteral("sms-%1-report-%2").arg(id).arg(status),
                       WebhookPayload::delivered(id, number, status, at));
            });
    connect(&m_events, &EngineEvents::messageReceived, this,
            [this](qint64 id, const QString &number, const QString &text, const DeviceRef &device,
                   const QDateTime &at) {
                record(QStringLiteral("message.received"), QStringLiteral("smsrecv-%1").arg(id),
                       WebhookPayload::received(id, number, text, device, at));
            });
    connect(&m_events, &EngineEvents::committing, this, &WebhookDispatcher::save);
    // These events have no row of their own: their body (which carries its time) names them,
    // so the same event replayed keeps its id.
    SimPoolPayload::follow(m_events, this, [this](const QString &type, const QByteArray &body) {
        record(type,
               type + QLatin1Char('-')
                       + QString::fromLatin1(
                               QCryptographicHash::hash(body, QCryptographicHash::Sha256)
                                       .toHex()
                                       .left(24)),
               body);
    });
}

void WebhookDispatcher::configure(const WebhookSettings &settings)
{
    m_settings = settings;
    follow(m_settings.enabled());
    if (!m_settings.enabled())
        return;
    if (!m_loaded)
        loadOutbox();
    QStringList gone;
    for (const auto &[key, pending] : m_pending) {
        if (!pending.posting && !m_settings.urls.contains(pending.entry.url))
            gone << key;
    }
    for (const QString &key : gone)
        drop(key, QStringLiteral("配置中已没有该地址"));
    schedule();
}

void WebhookDispatcher::loadOutbox()
{
    QString error;
    if (!m_outbox.prepare(&error)) {
        m_log(QStringLiteral("Webhook发件箱%1无法使用：%2").arg(m_outbox.folder(), error));
        return;
    }
    m_loaded = true;
    const QDateTime now = m_clock.now();
    for (const WebhookEntry &entry : m_outbox.load())
        m_pending.emplace(entry.key(), Pending{entry, 0, now, false, {}});
    m_counters.outbox = qsizetype(m_pending.size());
}

WebhookCounters WebhookDispatcher::counters() const
{
    return m_counters;
}

void WebhookDispatcher::record(const QString &type, const QString &id, const QByteArray &body)
{
    if (!m_settings.enabled() || !m_settings.wants(type) || !m_loaded)
        return;
    const QDateTime now = m_clock.now();
    for (const QString &url : std::as_const(m_settings.urls))
        m_unsaved.append({{}, 0, id, url, now, body});
    // Written with the others of this turn, at the latest as the turn ends.
    if (!m_saveTimer.isActive())
        m_saveTimer.start();
}

void WebhookDispatcher::save()
{
    if (m_unsaved.isEmpty())
        return;
    QList<WebhookEntry> entries = std::exchange(m_unsaved, {});
    QString error;
    // Not on the disk, they are still tried for as long as the program runs.
    if (!m_outbox.add(entries, &error)) {
        m_log(QStringLiteral("%1个Webhook事件写入发件箱失败：%2").arg(entries.size()).arg(error));
        const QString file = QStringLiteral("unsaved-") + QUuid::createUuid().toString(QUuid::Id128);
        for (qsizetype i = 0; i < entries.size(); ++i) {
            entries[i].file = file;
            entries[i].index = int(i);
        }
    }
    for (const WebhookEntry &entry : std::as_const(entries))
        m_pending.emplace(entry.key(), Pending{entry, 0, entry.created, false, {}});
    m_counters.outbox = qsizetype(m_pending.size());
    schedule();
}

void WebhookDispatcher::deliverDue()
{
    const QDateTime now = m_clock.now();
    QStringList expired;
    for (auto &[key, pending] : m_pending) {
        if (pending.posting || pending.due > now)
            continue;
        if (pending.entry.created.secsTo(now) >= m_settings.retryForSeconds) {
            expired << key;
            continue;
        }
        if (m_posting.value(pending.entry.url) < MaxPostsPerUrl)
            post(pending);
    }
    for (const QString &key : expired)
        drop(key,
             m_pending.at(key).lastError.isEmpty() ? QStringLiteral("重试期限已过")
                                                    : m_pending.at(key).lastError);
    schedule();
}

void WebhookDispatcher::post(Pending &pending)
{
    const WebhookEntry &entry = pending.entry;
    const qint64 timestamp = m_clock.now().toSecsSinceEpoch();
    QNetworkRequest request{QUrl(entry.url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("webhook-id", entry.id.toUtf8());
    request.setRawHeader("webhook-timestamp", QByteArray::number(timestamp));
    request.setRawHeader("webhook-signature",
                         WebhookSigner::signature(m_settings.key, entry.id, timestamp, entry.body));
    // A redirect could send the signed payload somewhere nobody configured.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(TimeoutMs);
    QNetworkReply *reply = m_network.post(request, entry.body);
    // A receiver that trickles its answer resets the transfer time-out; this does not.
    QTimer::singleShot(TimeoutMs, reply, &QNetworkReply::abort);
    m_replies.insert(reply);
    pending.posting = true;
    ++m_posting[entry.url];
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, key = entry.key()] { answered(reply, key); });
}

void WebhookDispatcher::answered(QNetworkReply *reply, const QString &key)
{
    m_replies.remove(reply);
    reply->deleteLater();
    const auto it = m_pending.find(key);
    if (it == m_pending.end())
        return;
    Pending &pending = it->second;
    pending.posting = false;
    if (--m_posting[pending.entry.url] <= 0)
        m_posting.remove(pending.entry.url);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 200 && status < 300) {
        ++m_counters.delivered;
        m_outbox.remove(pending.entry);
        m_pending.erase(it);
        m_counters.outbox = qsizetype(m_pending.size());
    } else {
        failed(pending,
               status > 0 ? QStringLiteral("HTTP %1").arg(status)
                          : (reply->error() == QNetworkReply::OperationCanceledError
                                     ? QStringLiteral("%1秒内没有应答").arg(TimeoutMs / 1000)
                                     : reply->errorString()));
    }
    deliverDue();
}

void WebhookDispatcher::failed(Pending &pending, const QString &why)
{
    ++m_counters.failed;
    ++pending.failures;
    pending.lastError = why;
    // The last try is the one before the end of the retry period; the event goes then.
    pending.due = qMin(m_clock.now().addSecs(backoffSeconds(pending.failures, m_settings)),
                       pending.entry.created.addSecs(m_settings.retryForSeconds));
}

void WebhookDispatcher::drop(const QString &key, const QString &why)
{
    const auto it = m_pending.find(key);
    if (it == m_pending.end())
        return;
    const WebhookEntry &entry = it->second.entry;
    m_log(QStringLiteral("Webhook事件%1未能送达%2（%3），已丢弃").arg(entry.id, entry.url, why));
    ++m_counters.dropped;
    m_outbox.remove(entry);
    m_pending.erase(it);
    m_counters.outbox = qsizetype(m_pending.size());
}

void WebhookDispatcher::schedule()
{
    const QDateTime now = m_clock.now();
    std::optional<qint64> wait;
    for (const auto &[key, pending] : m_pending) {
        // A receiver with all its posts out is tried again when one of them ends.
        if (pending.posting || m_posting.value(pending.entry.url) >= MaxPostsPerUrl)
            continue;
        const qint64 ms = qMax<qint64>(0, now.msecsTo(pending.due));
        wait = wait ? qMin(*wait, ms) : ms;
    }
    if (!wait) {
        m_timer.stop();
        return;
    }
    m_timer.start(int(qMin<qint64>(*wait, 3600 * 1000)));
}
