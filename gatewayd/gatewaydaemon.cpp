#include "gatewaydaemon.h"

#include "configcheck.h"

#include "common/clock.h"
#include "common/componentloader.h"
#include "engine/gateway.h"
#include "engine/service.h"
#include "smpp/smppserver.h"
#include "web/statusserver.h"

#include <QCoreApplication>
#include <csignal>

namespace {

// How often "systemctl status" may lag behind the devices and the queue.
constexpr int StatusEveryMs = 5000;

} // namespace

GatewayDaemon::GatewayDaemon(const QString &programDir, bool logToJournal, QObject *parent)
    : QObject(parent)
{
    m_gateway = std::make_unique<Gateway>(programDir, SystemClock::instance(), m_prompter);
    m_prompter.attach(m_gateway->log());
    // Nobody is there to press start again when the database comes back.
    m_gateway->setPollWhenDatabaseReturns(true);
    m_stdout = std::make_unique<StdoutLog>(m_gateway->log(), stdout, logToJournal);
    m_statusTimer.setInterval(StatusEveryMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &GatewayDaemon::publishStatus);
}

GatewayDaemon::~GatewayDaemon() = default;

bool GatewayDaemon::createControls(QString *error)
{
    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    return m_gateway->createModemControls(loader, error);
}

bool GatewayDaemon::configReadable(const QString &refusal)
{
    const QString why = ConfigCheck::problem(m_gateway->configPath());
    if (why.isEmpty())
        return true;
    const QString text = QStringLiteral("配置文件%1无法读取（%2），%3")
                                 .arg(m_gateway->configPath(), why, refusal);
    m_gateway->writeLog(text);
    m_stdout->flush();
    m_systemd.status(text);
    return false;
}

void GatewayDaemon::start()
{
    m_gateway->load();
    m_status = std::make_unique<StatusServer>(*m_gateway, m_gateway->events());
    m_smpp = std::make_unique<SmppServer>(*m_gateway, m_gateway->events(), SystemClock::instance());
    m_gateway->start();
    m_systemd.ready();
    publishStatus();
    m_statusTimer.start();
}

void GatewayDaemon::stop()
{
    m_gateway->stop();
}

void GatewayDaemon::reload()
{
    // A file made unreadable since the start would reload the defaults: the running settings
    // stay instead.
    if (m_systemd.isStopping() || !configReadable(QStringLiteral("保持原有配置继续运行")))
        return;
    m_systemd.reloading();
    // Unchanged devices keep their ports and their sends; the reload returns at once.
    m_gateway->reload();
    m_systemd.ready();
    m_statusSent = false;
    publishStatus();
}

void GatewayDaemon::handleSignal(int signalNumber)
{
    if (signalNumber == SIGHUP) {
        reload();
        return;
    }
    // A second SIGTERM (or Ctrl-C after a kill) while the first stop still waits.
    if (m_systemd.isStopping())
        return;
    m_statusTimer.stop();
    m_systemd.stopping();
    stop();
    // The process ends once the sends in flight have ended and the ports are closed.
    m_gateway->whenStopped([] { QCoreApplication::quit(); });
}

void GatewayDaemon::publishStatus()
{
    if (m_systemd.isStopping())
        return;
    const EngineState state = EngineState::read(*m_gateway);
    if (m_statusSent && state == m_published)
        return;
    m_systemd.status(state.text());
    m_published = state;
    m_statusSent = true;
}
