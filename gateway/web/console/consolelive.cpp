#include "consolelive.h"

#include "consolestate.h"
#include "origincheck.h"

#include "common/clock.h"
#include "model/engineapi.h"
#include "model/engineevents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>

namespace {

// A page that gives no token in this time is closed.
constexpr int AdmitMilliseconds = 10000;
// History the page draws: a day for the gateway, an hour for a device.
constexpr int GatewayMinutes = 1440;
constexpr int DeviceMinutes = 60;
constexpr quint64 MaxIncoming = 4096;
constexpr qint64 MaxBacklog = 8 * 1024 * 1024;

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The Host the page's browser asked for, as the handshake's URL carries it.
QByteArray hostOf(const QUrl &url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    return url.port() >= 0 ? host + ':' + QByteArray::number(url.port()) : host;
}

} // namespace

ConsoleLive::ConsoleLive(EngineApi &engine, EngineEvents &events, const QString &programDir,
                         const Clock &clock, QObject *parent)
    : QObject(parent), m_engine(engine), m_events(events), m_tokens(TokenStore::fileIn(programDir)),
      m_clock(clock)
{
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &ConsoleLive::tick);
}

ConsoleLive::~ConsoleLive()
{
    closeAll();
}

void ConsoleLive::accept(std::unique_ptr<QWebSocket> socket, bool tls)
{
    const QUrl url = socket->requestUrl();
    const QByteArray origin = socket->origin().toLatin1();
    const char *refusal = nullptr;
    if (url.path() != QLatin1String("/console/live"))
        refusal = "not found";
    else if (!origin.isEmpty() && !OriginCheck::sameHost(origin, hostOf(url), tls))
        refusal = "origin";
    else if (clients() >= MaxClients)
        refusal = "busy";
    if (refusal) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QLatin1String(refusal));
        // The close frame goes out once the loop turns.
        socket.release()->deleteLater();
        return;
    }
    // A page sends a token and small requests; nothing it sends may fill the memory.
    socket->setMaxAllowedIncomingMessageSize(MaxIncoming);
    socket->setMaxAllowedIncomingFrameSize(MaxIncoming);
    QWebSocket *raw = socket.get();
    connect(raw, &QWebSocket::textMessageReceived, this,
            [this, raw](const QString &text) { received(raw, text); });
    connect(raw, &QWebSocket::disconnected, this, [this, raw] { drop(raw); });
    m_clients.push_back({std::move(socket), false});
    QTimer::singleShot(AdmitMilliseconds, raw, [this, raw] {
        if (Client *c = find(raw); c && !c->admitted)
            raw->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("no token"));
    });
}

void ConsoleLive::closeAll()
{
    m_tick.stop();
    std::vector<Client> clients = std::move(m_clients);
    m_clients.clear();
    for (Client &c : clients) {
        c.socket->disconnect(this);
        c.socket->close(QWebSocketProtocol::CloseCodeGoingAway);
    }
}

ConsoleLive::Client *ConsoleLive::find(QWebSocket *socket)
{
    for (Client &c : m_clients) {
        if (c.socket.get() == socket)
            return &c;
    }
    return nullptr;
}

void ConsoleLive::drop(QWebSocket *socket)
{
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->socket.get() == socket) {
            // Its own signal is being delivered: it goes once that is over.
            it->socket.release()->deleteLater();
            m_clients.erase(it);
            break;
        }
    }
    if (m_clients.empty())
        m_tick.stop();
}

void ConsoleLive::received(QWebSocket *socket, const QString &text)
{
    Client *client = find(socket);
    if (!client)
        return;
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (!client->admitted) {
        const QString token = message.value(QLatin1String("token")).toString();
        if (token.isEmpty() || !m_tokens.authenticate(token.toUtf8())) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("token"));
            return;
        }
        admit(*client);
        return;
    }
    if (message.contains(QLatin1String("history"))) {
        const QString port = message.value(QLatin1String("history"))
                                     .toObject()
                                     .value(QLatin1String("port"))
                                     .toString();
        send(historyMessage(port, m_clock.now()), socket);
    }
}

void ConsoleLive::admit(Client &client)
{
    const QDateTime now = m_clock.now();
    const qint64 ms = now.toMSecsSinceEpoch();
    if (!m_tick.isActive()) {
        m_state = compact(ConsoleState::state(m_engine.status()));
        m_lastSent = now;
        bool reset = false;
        m_log.follow(m_engine.recentLog(LogLines), &reset);
        m_tick.start();
    } else {
        // The pages open already hear the lines up to now before this one gets them all.
        pushLog(now);
    }
    client.admitted = true;
    QWebSocket *socket = client.socket.get();
    send(ConsoleState::message("state", ms, m_state), socket);
    send(ConsoleState::message(
                 "log", ms,
                 compact({{QStringLiteral("reset"), true},
                          {QStringLiteral("lines"), QJsonArray::fromStringList(m_log.seen())}})),
         socket);
    send(historyMessage({}, now), socket);
}

void ConsoleLive::tick()
{
    const QDateTime now = m_clock.now();
    pushState(now);
    pushLog(now);
    const qint64 minute = now.toSecsSinceEpoch() / 60;
    if (minute != m_historyMinute) {
        m_historyMinute = minute;
        send(historyMessage({}, now));
    }
}

void ConsoleLive::pushState(const QDateTime &now)
{
    QByteArray state = compact(ConsoleState::state(m_engine.status()));
    const qint64 ms = now.toMSecsSinceEpoch();
    if (state != m_state) {
        m_state = std::move(state);
        m_lastSent = now;
        send(ConsoleState::message("state", ms, m_state));
    } else if (m_lastSent.secsTo(now) >= HeartbeatSeconds) {
        m_lastSent = now;
        send(ConsoleState::message("heartbeat", ms, {}));
    }
}

void ConsoleLive::pushLog(const QDateTime &now)
{
    bool reset = false;
    const QStringList fresh = m_log.follow(m_engine.recentLog(LogLines), &reset);
    if (fresh.isEmpty())
        return;
    send(ConsoleState::message(
            "log", now.toMSecsSinceEpoch(),
            compact({{QStringLiteral("reset"), reset},
                     {QStringLiteral("lines"), QJsonArray::fromStringList(fresh)}})));
}

QByteArray ConsoleLive::historyMessage(const QString &port, const QDateTime &now) const
{
    const QList<HistoryMinute> minutes =
            m_engine.history(port.isEmpty() ? GatewayMinutes : DeviceMinutes, port);
    return ConsoleState::message("history", now.toMSecsSinceEpoch(),
                                 compact(ConsoleState::history(minutes, port)));
}

void ConsoleLive::send(const QByteArray &message, QWebSocket *only)
{
    if (only) {
        only->sendBinaryMessage(message);
        return;
    }
    for (Client &c : m_clients) {
        if (!c.admitted)
            continue;
        // A page that reads nothing would have its pushes pile up here for ever; it is closed
        // and, when it comes back, starts from the state as it is then.
        if (c.socket->bytesToWrite() > MaxBacklog)
            c.socket->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("too slow"));
        else
            c.socket->sendBinaryMessage(message);
    }
}

void ConsoleLive::broadcast(const char *type, const QJsonObject &body)
{
    send(ConsoleState::message(type, m_clock.now().toMSecsSinceEpoch(), compact(body)));
}

void ConsoleLive::watchTest(qint64 id, const QString &number)
{
    m_tests.insert(id, number);
    followTests(true);
}

void ConsoleLive::testDone(qint64 id, const QString &result, const QString &reason)
{
    const auto it = m_tests.constFind(id);
    if (it == m_tests.constEnd())
        return;
    broadcast("test",
              {{QStringLiteral("id"), id},
               {QStringLiteral("number"), *it},
               {QStringLiteral("result"), result},
               {QStringLiteral("reason"), reason}});
    m_tests.remove(id);
    if (m_tests.isEmpty())
        followTests(false);
}

void ConsoleLive::followTests(bool on)
{
    // Only while a test is out: a busy send path makes its events' values only for listeners.
    if (on != m_testConnections.isEmpty())
        return;
    if (!on) {
        for (const auto &c : std::as_const(m_testConnections))
            disconnect(c);
        m_testConnections.clear();
        return;
    }
    m_testConnections << connect(
            &m_events, &EngineEvents::messageSent, this,
            [this](qint64 id, const QString &, const DeviceRef &, const QDateTime &) {
                testDone(id, QStringLiteral("sent"), {});
            });
    m_testConnections << connect(
            &m_events, &EngineEvents::messageFailed, this,
            [this](qint64 id, const QString &, const DeviceRef &, const QString &reason,
                   const QDateTime &) { testDone(id, QStringLiteral("failed"), reason); });
}
