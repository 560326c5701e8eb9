#pragma once

#include "logfollower.h"

#include "api/tokenstore.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class Clock;
class EngineApi;
class EngineEvents;
class QWebSocket;
struct DeviceRef;

// The console's live channel: the WebSockets of open pages, each told the gateway's state at
// most once a second when it changed, a heartbeat while nothing did, the activity log's new
// lines and, once a minute, the history. A message is made once and the same bytes go to every
// page, so more pages cost little more than one; with no page open nothing is read at all.
class ConsoleLive : public QObject
{
    Q_OBJECT

public:
    ConsoleLive(EngineApi &engine, EngineEvents &events, const QString &programDir,
                const Clock &clock, QObject *parent = nullptr);
    ~ConsoleLive() override;

    static constexpr int MaxClients = 32;
    static constexpr int HeartbeatSeconds = 5;
    static constexpr int LogLines = 200;

    // A WebSocket the HTTP server upgraded. Nothing is sent on it before its first message gave
    // a token of any role, {"token": "..."}, on loopback too: every local account could read
    // the received texts otherwise.
    void accept(std::unique_ptr<QWebSocket> socket, bool tls);
    void closeAll();
    int clients() const { return int(m_clients.size()); }

    // Tells every page the outcome of the test message queued as row id once the engine has it.
    void watchTest(qint64 id, const QString &number);
    // Tells every page a message of type with body's fields.
    void broadcast(const char *type, const QJsonObject &body);

private:
    struct Client
    {
        std::unique_ptr<QWebSocket> socket;
        bool admitted = false;
    };

    void received(QWebSocket *socket, const QString &text);
    void admit(Client &client);
    void drop(QWebSocket *socket);
    Client *find(QWebSocket *socket);
    void tick();
    void pushState(const QDateTime &now);
    void pushLog(const QDateTime &now);
    QByteArray historyMessage(const QString &port, const QDateTime &now) const;
    void send(const QByteArray &message, QWebSocket *only = nullptr);
    void testDone(qint64 id, const QString &result, const QString &reason);
    void followTests(bool on);

    EngineApi &m_engine;
    EngineEvents &m_events;
    TokenStore m_tokens;
    const Clock &m_clock;
    std::vector<Client> m_clients;
    QTimer m_tick;
    LogFollower m_log;
    QByteArray m_state;
    QDateTime m_lastSent;
    qint64 m_historyMinute = -1;
    QHash<qint64, QString> m_tests;
    QList<QMetaObject::Connection> m_testConnections;
};
