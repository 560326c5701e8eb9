#include "statusserver.h"

#include "status/processfigures.h"
#include "status/statusreport.h"

#include "api/apiaccess.h"
#include "api/apiresponse.h"
#include "api/apiroutes.h"
#include "api/httplistener.h"
#include "api/simpoolroutes.h"
#include "common/clock.h"
#include "console/consoleserver.h"

#include "common/inifile.h"
#include "model/engineapi.h"
#include "model/engineevents.h"

#include <QFileInfo>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcStatus, "velmora.status")

namespace {

const QByteArray Html = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray Metrics = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
const QByteArray Text = QByteArrayLiteral("text/plain; charset=utf-8");
constexpr int RetireMilliseconds = 2000;

} // namespace

StatusServer::StatusServer(EngineApi &engine, EngineEvents &events, QObject *parent)
    : QObject(parent), m_engine(engine),
      m_api(std::make_unique<ApiRoutes>(engine, QFileInfo(engine.configPath()).absolutePath(),
                                        SystemClock::instance())),
      m_console(std::make_unique<ConsoleServer>(engine, events, m_api->access(),
                                                QFileInfo(engine.configPath()).absolutePath(),
                                                SystemClock::instance()))
{
    connect(&events, &EngineEvents::runningChanged, this, [this](bool running) {
        if (running)
            applySettings();
    });
    applySettings();
}

StatusServer::~StatusServer() = default;

QString StatusServer::address() const
{
    if (m_port == 0)
        return {};
    const QString host = m_address.protocol() == QAbstractSocket::IPv6Protocol
            ? QLatin1Char('[') + m_address.toString() + QLatin1Char(']')
            : m_address.toString();
    return QStringLiteral("%1://%2:%3/")
            .arg(m_tls.enabled() ? QStringLiteral("https") : QStringLiteral("http"), host)
            .arg(m_port);
}

quint16 StatusServer::applySettings()
{
    const IniFile ini(m_engine.configPath());
    const QString portText =
            ini.read(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString()).trimmed();
    const QString addressText = ini.read(QStringLiteral("Service"), QStringLiteral("HttpAddress"),
                                         QStringLiteral("127.0.0.1"))
                                        .trimmed();
    bool ok = portText.isEmpty();
    const uint port = portText.isEmpty() ? 0 : portText.toUInt(&ok);
    if (!ok || port > 65535) {
        qCWarning(lcStatus, "status page off: HttpPort=%s is not a port number",
                  qUtf8Printable(portText));
        listen({}, 0);
        return m_port;
    }
    QHostAddress address(addressText);
    if (address.isNull()) {
        qCWarning(lcStatus, "status page off: HttpAddress=%s is not an address",
                  qUtf8Printable(addressText));
        listen({}, 0);
        return m_port;
    }
    const HttpListener::Tls tls{
            ini.read(QStringLiteral("Service"), QStringLiteral("TlsCertificate"), {}).trimmed(),
            ini.read(QStringLiteral("Service"), QStringLiteral("TlsKey"), {}).trimmed()};
    const uint rate = ini.read(QStringLiteral("Service"), QStringLiteral("ApiRate"), {}).toUInt();
    m_api->access().setRate(rate > 0 ? int(rate) : 100);
    if (m_server && address == m_address && port == m_wantedPort
        && tls.certificate == m_tls.certificate && tls.key == m_tls.key)
        return m_port;
    m_tls = tls;
    listen(address, quint16(port));
    return m_port;
}

void StatusServer::listen(const QHostAddress &address, quint16 port)
{
    // Qt's server cannot stop listening; a new one replaces it. The old one stops taking
    // connections now but lives a moment longer: a console's start that moved the server is
    // answered by the old one, and its answer must leave before its socket goes.
    m_console->closeAll();
    if (m_server) {
        for (QTcpServer *listener : m_server->servers())
            listener->close();
        QHttpServer *old = m_server.release();
        old->setParent(this);
        QTimer::singleShot(RetireMilliseconds, old, &QObject::deleteLater);
    }
    m_port = 0;
    m_wantedPort = port;
    m_address = address;
    if (port == 0)
        return;
    m_server = std::make_unique<QHttpServer>();
    routePage();
    routeMetrics();
    m_server->route(QStringLiteral("/healthz"), QHttpServerRequest::Method::Get, [this] {
        const auto [status, body] = health();
        return QHttpServerResponse(Text, body, QHttpServerResponse::StatusCode(status));
    });
    m_api->install(*m_server);
    SimPoolRoutes::install(*m_server, m_engine, m_api->access());
    m_console->install(*m_server, m_tls.enabled());
    m_server->setMissingHandler(
            [](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
                // A program that reads JSON everywhere under /api/ gets JSON for a wrong path too.
                if (request.url().path().startsWith(QLatin1String("/api/")))
                    ApiResponse::error({404, "not_found", QStringLiteral("no such endpoint")})
                            .write(std::move(responder));
                else
                    responder.write(QHttpServerResponder::StatusCode::NotFound);
            });
    HttpLimits limits;
    limits.allowedHosts = HttpListener::ownNames(address);
    limits.health = [this] {
        const auto [status, body] = health();
        return ApiResponse::rawClosing(status, Text, body);
    };
    QString error;
    m_port = HttpListener::listen(*m_server, address, port, limits, m_tls, &error);
    if (m_port == 0) {
        qCWarning(lcStatus, "status page: cannot listen on %s port %u",
                  qUtf8Printable(address.toString()), unsigned(port));
        qCWarning(lcStatus, "%s", qUtf8Printable(error));
        m_server.reset();
        return;
    }
    qCInfo(lcStatus, "status page on %s", qUtf8Printable(this->address()));
}

std::pair<int, QByteArray> StatusServer::health() const
{
    const QString why = StatusReport::unavailable(m_engine.status());
    if (why.isEmpty())
        return {200, QByteArrayLiteral("ok\n")};
    return {503, "unavailable: " + why.toUtf8() + '\n'};
}

void StatusServer::routePage()
{
    // The full page names numbers, texts and SIMs; without a token it shows the health figures.
    m_server->route(QStringLiteral("/"), QHttpServerRequest::Method::Get,
                    [this](const QHttpServerRequest &request) {
                        if (ApiAccess::header(request, QByteArrayLiteral("Authorization")).isNull())
                            return QHttpServerResponse(Html,
                                                       StatusReport::healthPage(m_engine.status()));
                        auto who = m_api->access().authorize(request);
                        if (auto *e = std::get_if<ApiError>(&who))
                            return ApiResponse::error(*e);
                        return QHttpServerResponse(
                                Html, StatusReport::page(m_engine.status(),
                                                         m_engine.recentLog(
                                                                 StatusReport::PageLogLines)));
                    });
}

void StatusServer::routeMetrics()
{
    // Figures only, for a scraper on this machine; beyond it only a token holder reads them.
    const bool open = m_address.isLoopback();
    m_server->route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get,
                    [this, open](const QHttpServerRequest &request) {
                        if (!open) {
                            auto who = m_api->access().authorize(request);
                            if (auto *e = std::get_if<ApiError>(&who))
                                return ApiResponse::error(*e);
                        }
                        return QHttpServerResponse(
                                Metrics,
                                StatusReport::metrics(m_engine.status(), ProcessFigures::read()));
                    });
}
