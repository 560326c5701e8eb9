#pragma once

#include "api/httplistener.h"

#include <QHostAddress>
#include <QObject>
#include <functional>
#include <memory>

class ApiRoutes;
class ConsoleServer;
class EngineApi;
class EngineEvents;
class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;

// The status page, metrics and health check over HTTP. Off unless [Service] HttpPort is set in
// Config.ini; listens on 127.0.0.1 unless HttpAddress names another address. The settings are
// read when the server is made and again at every service start, like the others. It also
// carries the API under /api/v1/ and the operator's console under /console. Nothing that names
// a message or a SIM is shown without a token, on loopback too: the page without one shows the
// health figures alone. Away from loopback the metrics need a token as well. TlsCertificate and
// TlsKey make it HTTPS.
class StatusServer : public QObject
{
    Q_OBJECT

public:
    // Lives on the engine's thread: every answer is made from the engine's status there, or
    // from what the engine's reader hands back there.
    StatusServer(EngineApi &engine, EngineEvents &events, QObject *parent = nullptr);
    ~StatusServer() override;

    // Reads the settings and listens accordingly; the port listened on, 0 when off.
    quint16 applySettings();
    quint16 port() const { return m_port; }
    ConsoleServer &console() { return *m_console; }
    // "http://address:port/", empty when off.
    QString address() const;

private:
    void listen(const QHostAddress &address, quint16 port);
    // /healthz's status code and body.
    std::pair<int, QByteArray> health() const;
    void routeMetrics();
    void routePage();

    EngineApi &m_engine;
    std::unique_ptr<ApiRoutes> m_api;
    std::unique_ptr<ConsoleServer> m_console;
    HttpListener::Tls m_tls;
    std::unique_ptr<QHttpServer> m_server;
    QHostAddress m_address;
    quint16 m_wantedPort = 0;
    quint16 m_port = 0;
};
