#include "smppserver.h"

#include "smppbodies.h"
#include "smpplistener.h"
#include "smpppdu.h"
#include "smppreceipt.h"
#include "smppsession.h"
#include "smppsubmit.h"

#include "common/clock.h"
#include "model/engineapi.h"
#include "model/engineevents.h"

#include <QFileInfo>
#include <algorithm>
#include <QTcpServer>

using namespace Smpp;
using SmppReceipt::State;

namespace {

const QByteArray OwnSystemId = QByteArrayLiteral("Velmora");
constexpr quint8 ReceiptBits = 0x03;
constexpr quint8 OnFailureOnly = 0x02;
constexpr quint8 Intermediate = 0x10;
constexpr int TickMs = 5000;

bool transmitting(quint32 command)
{
    return command != Command::BindReceiver;
}

} // namespace

SmppServer::SmppServer(EngineApi &engine, EngineEvents &events, const Clock &clock,
                       QObject *parent)
    : QObject(parent), m_engine(engine), m_events(events), m_clock(clock),
      m_folder(folder(QFileInfo(engine.configPath()).absolutePath())),
      m_access(QFileInfo(engine.configPath()).absolutePath()),
      m_outbox(m_folder + QStringLiteral("/outbox")),
      m_submitted(m_folder + QStringLiteral("/submitted.log")),
      m_parts(m_folder + QStringLiteral("/parts"))
{
    m_retry.setInterval(TickMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        // A client that leaves a deliver_sm unanswered this long answers nothing any more:
        // what it holds goes to another session or waits for the next bind.
        const QList<SmppSession *> sessions = m_sessions;
        for (SmppSession *s : sessions) {
            if (s->overdue(qint64(AnswerSeconds) * 1000))
                s->abort();
        }
        expire();
        pump();
    });
    connect(&events, &EngineEvents::runningChanged, this, [this](bool running) {
        if (running)
            applySettings();
    });
    connect(&events, &EngineEvents::messageSent, this,
            [this](qint64 id, const QString &, const DeviceRef &, const QDateTime &) {
                messageSent(id);
            });
    connect(&events, &EngineEvents::messageFailed, this,
            [this](qint64 id, const QString &, const DeviceRef &, const QString &,
                   const QDateTime &) { messageFailed(id); });
    connect(&events, &EngineEvents::messageDelivered, this,
            [this](qint64 id, const QString &, int status, const QDateTime &) {
                messageDelivered(id, status);
            });
    connect(&events, &EngineEvents::messageReceived, this,
            [this](qint64, const QString &number, const QString &text, const DeviceRef &device,
                   const QDateTime &) { messageReceived(number, text, device); });
    applySettings();
}

SmppServer::~SmppServer()
{
    // What is on its way stays in the outbox for the next start.
    for (SmppSession *s : std::as_const(m_sessions))
        delete s;
    SmppCounters::shared().listening = false;
    SmppCounters::shared().sessions = 0;
}

QString SmppServer::folder(const QString &programDir)
{
    return programDir + QStringLiteral("/smpp");
}

quint16 SmppServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

void SmppServer::publish()
{
    SmppCounters::shared() = counters();
}

SmppCounters SmppServer::counters() const
{
    SmppCounters c = m_counters;
    c.listening = m_server != nullptr;
    c.sessions = 0;
    for (const SmppSession *s : m_sessions)
        c.sessions += s->bind() != SmppSession::Bind::None && !s->closing();
    c.waiting = qint64(m_pending.size());
    return c;
}

void SmppServer::log(const QString &line)
{
    m_engine.writeLog(line);
}

quint16 SmppServer::applySettings()
{
    QStringList problems;
    m_settings = SmppSettings::read(m_engine.configPath(), &problems);
    for (const QString &p : std::as_const(problems))
        log(p);
    m_access.setRate(m_settings.rate);
    if (m_settings.port != 0 && !m_loaded)
        loadStores();
    const bool same = m_server && m_listening.port == m_settings.port
            && m_listening.address == m_settings.address
            && m_listening.tlsCertificate == m_settings.tlsCertificate
            && m_listening.tlsKey == m_settings.tlsKey;
    if (!same)
        listen();
    return port();
}

void SmppServer::loadStores()
{
    QString error;
    const QDateTime cutOff = m_clock.now().addSecs(-qint64(m_settings.keepHours) * 3600);
    if (!m_outbox.prepare(&error) || !m_parts.load(cutOff, &error)
        || !m_submitted.load(cutOff, &error)) {
        log(QStringLiteral("SMPP存储%1无法使用：%2").arg(m_folder, error));
        return;
    }
    m_loaded = true;
    for (const SmppDelivery &entry : m_outbox.load())
        m_pending.emplace(entry.file, Pending{entry, nullptr, 0});
}

void SmppServer::listen()
{
    for (SmppSession *s : std::as_const(m_sessions))
        s->closeAfterWrite();
    m_server.reset();
    m_retry.stop();
    m_listening = m_settings;
    publish();
    if (m_settings.port == 0)
        return;
    QString error;
    m_server = SmppListener::listen(m_settings, &error);
    if (!m_server) {
        log(QStringLiteral("SMPP服务无法在%1端口%2监听：%3")
                    .arg(m_settings.address.toString())
                    .arg(m_settings.port)
                    .arg(error));
        return;
    }
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &SmppServer::accept);
    m_retry.start();
    publish();
    log(QStringLiteral("SMPP服务在%1端口%2监听")
                .arg(m_settings.address.toString())
                .arg(m_server->serverPort()));
}

void SmppServer::accept()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        if (m_sessions.size() >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        SmppSession::Handlers handlers{
                [this](SmppSession &s, const Pdu &p) { bind(s, p); },
                [this](SmppSession &s, const QList<Pdu> &p) { submit(s, p); },
                [this](SmppSession &s, const QString &f, quint32 st) { answered(s, f, st); },
                [this](SmppSession &s) { closed(s); }};
        m_sessions << new SmppSession(socket, m_settings.idleSeconds, std::move(handlers), this);
    }
}

void SmppServer::bind(SmppSession &session, const Pdu &pdu)
{
    auto decoded = decodeBind(pdu.body);
    auto refuse = [&](quint32 status) {
        ++m_counters.bindsRefused;
        session.respond(pdu, status, encodeBindResponse(OwnSystemId));
        session.closeAfterWrite();
    };
    if (auto *status = std::get_if<quint32>(&decoded))
        return refuse(*status);
    const BindRequest &request = std::get<BindRequest>(decoded);
    const auto grant = m_access.authenticate(request.systemId, request.password);
    if (!grant)
        return refuse(Status::InvalidPassword);
    if (transmitting(pdu.command) && !grant->transmits)
        return refuse(Status::BindFailed);
    int bound = 0;
    for (const SmppSession *s : std::as_const(m_sessions))
        bound += s->bind() != SmppSession::Bind::None && !s->closing()
                && s->token() == grant->token;
    if (bound >= m_settings.sessionsPerToken)
        return refuse(Status::BindFailed);
    const auto kind = pdu.command == Command::BindTransmitter ? SmppSession::Bind::Transmitter
            : pdu.command == Command::BindReceiver            ? SmppSession::Bind::Receiver
                                                              : SmppSession::Bind::Transceiver;
    session.setBound(kind, grant->token, grant->reads);
    ++m_counters.binds;
    session.respond(pdu, Status::Ok, encodeBindResponse(OwnSystemId));
    pump();
    publish();
}

// A submit that will be answered together with the repeats of the same last part.
struct SmppServer::SubmitItem
{
    Pdu pdu;
    SmppSubmission submission;
    QList<Pdu> repeats; // answered as the item is
};

void SmppServer::submit(SmppSession &session, const QList<Pdu> &pdus)
{
    const std::unique_ptr<SmppServer, void (*)(SmppServer *)> publishAtEnd(
            this, [](SmppServer *server) { server->publish(); });
    QList<SubmitItem> items = prepareItems(session, pdus);
    const QueueResult result = queueItems(session, items);
    if (items.isEmpty())
        return;
    if (!result.ok()) {
        log(QStringLiteral("SMPP提交未能入队：%1").arg(result.error));
        for (const SubmitItem &item : std::as_const(items))
            refuse(session, item, Status::SystemError);
        return;
    }
    acknowledge(session, items, result);
}

void SmppServer::refuse(SmppSession &session, const Pdu &pdu, quint32 status)
{
    ++m_counters.submitsRefused;
    session.respond(pdu, status);
}

void SmppServer::refuse(SmppSession &session, const SubmitItem &item, quint32 status)
{
    refuse(session, item.pdu, status);
    for (const Pdu &repeat : item.repeats)
        refuse(session, repeat, status);
}

QList<SmppServer::SubmitItem> SmppServer::prepareItems(SmppSession &session,
                                                       const QList<Pdu> &pdus)
{
    QList<SubmitItem> items;
    const QDateTime now = m_clock.now();
    for (const Pdu &pdu : pdus) {
        if (!m_access.take(session.token())) {
            ++m_counters.throttled;
            refuse(session, pdu, Status::Throttled);
            continue;
        }
        SmppSubmission s = SmppSubmit::prepare(pdu, session.token(), m_parts, now);
        if (s.status != Status::Ok) {
            refuse(session, pdu, s.status);
        } else if (s.messages.isEmpty()) {
            session.respond(pdu, Status::Ok, encodeSubmitResponse({}, s.multi));
        } else {
            // A last part sent twice in one window completes its message once.
            const auto same = std::find_if(items.begin(), items.end(), [&s](const SubmitItem &i) {
                return !s.partsKey.isEmpty() && i.submission.partsKey == s.partsKey;
            });
            if (same != items.end())
                same->repeats.append(pdu);
            else
                items.append({pdu, std::move(s), {}});
        }
    }
    return items;
}

QueueResult SmppServer::queueItems(SmppSession &session, QList<SubmitItem> &items)
{
    // All rows of one read in one transaction: a window of submits costs one commit.
    QueueResult result;
    for (int attempt = 0; attempt < 4 && !items.isEmpty(); ++attempt) {
        QList<OutgoingMessage> messages;
        for (const SubmitItem &item : std::as_const(items))
            messages += item.submission.messages;
        result = m_engine.queueMessages(messages);
        if (result.ok() || result.field.isEmpty())
            break;
        const QString field = result.field;
        if (!m_missingColumns.contains(field)) {
            m_missingColumns.insert(field);
            log(QStringLiteral("SMPP：%1").arg(result.error));
        }
        // Sent early, a message would be wrong; sent without a priority or an end of its
        // validity it is only what the table can say.
        for (qsizetype i = items.size() - 1; i >= 0; --i) {
            for (OutgoingMessage &m : items[i].submission.messages) {
                if (field == QLatin1String("priority"))
                    m.priority.reset();
                else if (field == QLatin1String("validUntil"))
                    m.validUntil = {};
            }
            if (field == QLatin1String("sendAfter")
                && items[i].submission.messages.first().sendAfter.isValid()) {
                refuse(session, items[i], Status::InvalidScheduleTime);
                items.removeAt(i);
            }
        }
    }
    return result;
}

void SmppServer::acknowledge(SmppSession &session, const QList<SubmitItem> &items,
                             const QueueResult &result)
{
    qsizetype next = 0;
    QList<QByteArray> ids;
    for (const SubmitItem &item : items) {
        const SmppSubmission &s = item.submission;
        ids << QByteArray::number(result.ids.at(next));
        for (qsizetype i = 0; i < s.messages.size(); ++i, ++next) {
            if (!s.wantsReceipt)
                continue;
            SmppWatch watch = s.watch;
            watch.destination = s.destinations.at(i);
            m_submitted.add(result.ids.at(next), watch);
        }
        if (!s.partsKey.isEmpty())
            m_parts.forget(s.partsKey);
    }
    // A receipt owed for a row the client knows of must survive a kill.
    if (!m_submitted.sync())
        log(QStringLiteral("SMPP回执记录无法写入%1").arg(m_folder));
    for (qsizetype i = 0; i < items.size(); ++i) {
        m_counters.submits += items.at(i).submission.messages.size();
        session.submits += items.at(i).submission.messages.size();
        const QByteArray answer = encodeSubmitResponse(ids.at(i), items.at(i).submission.multi);
        session.respond(items.at(i).pdu, Status::Ok, answer);
        for (const Pdu &repeat : items.at(i).repeats)
            session.respond(repeat, Status::Ok, answer);
    }
}

void SmppServer::messageSent(qint64 id)
{
    const SmppWatch *w = m_submitted.find(id);
    if (!w)
        return;
    if (m_settings.deliveryReports) {
        if (w->registeredDelivery & Intermediate)
            receipt(id, int(State::Enroute), 0);
        return;
    }
    // Without reports, reaching the network is the last the gateway will know.
    receipt(id, int(State::Delivered), 0);
}

void SmppServer::messageFailed(qint64 id)
{
    if (m_submitted.find(id))
        receipt(id, int(State::Undeliverable), 1);
}

void SmppServer::messageDelivered(qint64 id, int status)
{
    if (!m_submitted.find(id))
        return;
    // TP-ST: below 32 delivered, up to 63 still trying, then failed.
    if (status < 32)
        receipt(id, int(State::Delivered), 0);
    else if (status < 64)
        receipt(id, int(State::Enroute), status);
    else
        receipt(id, int(State::Undeliverable), status);
}

void SmppServer::receipt(qint64 id, int stateValue, int error)
{
    const SmppWatch *w = m_submitted.find(id);
    const auto state = State(stateValue);
    const quint8 wanted = w->registeredDelivery & ReceiptBits;
    const bool failed = state == State::Undeliverable;
    const bool send = SmppReceipt::final(state)
            ? (wanted == 1 || (wanted == OnFailureOnly && failed))
            : (w->registeredDelivery & Intermediate) != 0;
    if (send)
        enqueue(w->token,
                encodeDeliver(SmppReceipt::receipt(id, *w, m_clock.now(), state, error)));
    if (SmppReceipt::final(state))
        m_submitted.settle(id);
}

void SmppServer::messageReceived(const QString &number, const QString &text,
                                 const DeviceRef &device)
{
    if (!m_server && m_settings.port == 0)
        return;
    const QByteArray body = encodeDeliver(SmppReceipt::received(number, text, device.simNumber));
    for (const QString &token : m_access.readers())
        enqueue(token, body);
}

void SmppServer::enqueue(const QString &token, const QByteArray &body)
{
    SmppDelivery entry{{}, token, m_clock.now(), body};
    QString error;
    if (!m_loaded || !m_outbox.add(entry, &error)) {
        // Not on the disk, it is still offered for as long as the program runs.
        log(QStringLiteral("SMPP待投递消息无法写入%1：%2").arg(m_outbox.folder(), error));
        static quint64 unsaved = 0;
        entry.file = QStringLiteral("unsaved-%1").arg(++unsaved);
    }
    m_pending.emplace(entry.file, Pending{entry, nullptr, 0});
    pump();
    publish();
}

void SmppServer::pump()
{
    const qint64 nowMs = m_clock.now().toMSecsSinceEpoch();
    for (auto &[file, pending] : m_pending) {
        if (pending.session || pending.retryAtMs > nowMs)
            continue;
        SmppSession *best = nullptr;
        for (SmppSession *s : std::as_const(m_sessions)) {
            if (s->receives() && !s->closing() && s->token() == pending.entry.token
                && s->inFlight() < m_settings.windowSize
                && (!best || s->inFlight() < best->inFlight()))
                best = s;
        }
        if (!best)
            continue;
        pending.session = best;
        best->deliver(file, pending.entry.body);
    }
}

void SmppServer::answered(SmppSession &, const QString &file, quint32 status)
{
    auto it = m_pending.find(file);
    if (it == m_pending.end())
        return;
    if (status == Status::Ok) {
        ++m_counters.delivered;
        m_outbox.remove(it->second.entry);
        m_pending.erase(it);
    } else {
        it->second.session = nullptr;
        it->second.retryAtMs = m_clock.now().toMSecsSinceEpoch() + RetrySeconds * 1000;
    }
    pump();
    publish();
}

void SmppServer::closed(SmppSession &session)
{
    for (auto &[file, pending] : m_pending) {
        if (pending.session == &session)
            pending.session = nullptr;
    }
    m_sessions.removeOne(&session);
    session.deleteLater();
    pump();
    publish();
}

void SmppServer::expire()
{
    const QDateTime cutOff = m_clock.now().addSecs(-qint64(m_settings.keepHours) * 3600);
    int dropped = 0;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (!it->second.session && it->second.entry.created < cutOff) {
            m_outbox.remove(it->second.entry);
            it = m_pending.erase(it);
            ++dropped;
        } else {
            ++it;
        }
    }
    publish();
    if (dropped > 0)
        log(QStringLiteral("SMPP：%1条回执或收到的短信超过%2小时无人接收，已丢弃")
                    .arg(dropped)
                    .arg(m_settings.keepHours));
}
