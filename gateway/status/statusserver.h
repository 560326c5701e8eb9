#pragma once

#include <QHostAddress>
#include <QObject>
#include <memory>

class EngineApi;
class EngineEvents;
class QHttpServer;

// The status page, metrics and health check over HTTP. Off unless [Service] HttpPort is set in
// Config.ini; listens on 127.0.0.1 unless HttpAddress names another address. The settings are
// read when the server is made and again at every service start, like the others.
class StatusServer : public QObject
{
    Q_OBJECT

public:
    // Lives on the engine's thread: every answer is made from the engine's status there.
    StatusServer(EngineApi &engine, EngineEvents &events, QObject *parent = nullptr);
    ~StatusServer() override;

    // Reads the settings and listens accordingly; the port listened on, 0 when off.
    quint16 applySettings();
    quint16 port() const { return m_port; }
    // "http://address:port/", empty when off.
    QString address() const;

private:
    void listen(const QHostAddress &address, quint16 port);

    EngineApi &m_engine;
    std::unique_ptr<QHttpServer> m_server;
    QHostAddress m_address;
    quint16 m_wantedPort = 0;
    quint16 m_port = 0;
};
