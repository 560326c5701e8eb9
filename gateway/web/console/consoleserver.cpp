#include "consoleserver.h"

#include "consoleactions.h"
#include "consolelive.h"

#include "api/apiaccess.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QWebSocket>

namespace {

// The page reaches nothing but this server, and no other site may frame it.
const QByteArray Policy = QByteArrayLiteral(
        "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
        "connect-src 'self' ws: wss:; frame-ancestors 'none'; base-uri 'none'; form-action 'self'");

QHttpServerResponse resource(const QString &name, const QByteArray &type)
{
    QFile file(QStringLiteral(":/console/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
    QHttpServerResponse response(type, file.readAll());
    response.addHeader(QByteArrayLiteral("Content-Security-Policy"), Policy);
    response.addHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
    response.addHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    return response;
}

} // namespace

ConsoleServer::ConsoleServer(EngineApi &engine, EngineEvents &events, ApiAccess &access,
                             const QString &programDir, const Clock &clock, QObject *parent)
    : QObject(parent), m_live(std::make_unique<ConsoleLive>(engine, events, programDir, clock)),
      m_actions(std::make_unique<ConsoleActions>(engine, access, *m_live))
{ }

ConsoleServer::~ConsoleServer() = default;

void ConsoleServer::install(QHttpServer &server, bool tls)
{
    using Method = QHttpServerRequest::Method;
    // The page holds no data of its own: it is served to anyone, the live channel is not.
    server.route(QStringLiteral("/console"), Method::Get, [] {
        return resource(QStringLiteral("console.html"), "text/html; charset=utf-8");
    });
    server.route(QStringLiteral("/console/console.css"), Method::Get,
                 [] { return resource(QStringLiteral("console.css"), "text/css; charset=utf-8"); });
    server.route(QStringLiteral("/console/console.js"), Method::Get, [] {
        return resource(QStringLiteral("console.js"), "text/javascript; charset=utf-8");
    });
    // Qt hands a WebSocket over only once a route took its request; what is no upgrade is told
    // to become one.
    server.route(QStringLiteral("/console/live"), Method::Get,
                 [](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
                     if (ApiAccess::header(request, QByteArrayLiteral("Upgrade")).toLower()
                         != "websocket")
                         responder.write(QHttpServerResponder::StatusCode::UpgradeRequired);
                 });
    server.route(QStringLiteral("/console/actions/<arg>"), Method::Post,
                 [this, tls](const QString &action, const QHttpServerRequest &request) {
                     return m_actions->handle(action, request, tls);
                 });
    connect(&server, &QAbstractHttpServer::newWebSocketConnection, this,
            [this, &server, tls] {
                while (server.hasPendingWebSocketConnections())
                    m_live->accept(server.nextPendingWebSocketConnection(), tls);
            });
}

void ConsoleServer::closeAll()
{
    m_live->closeAll();
}
