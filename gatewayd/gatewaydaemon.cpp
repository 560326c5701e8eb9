#include "gatewaydaemon.h"

#include "common/clock.h"
#include "common/componentloader.h"
#include "core/service.h"
#include "engine/gateway.h"
#include "status/statusserver.h"

#include <QCoreApplication>
#include <csignal>

GatewayDaemon::GatewayDaemon(const QString &programDir, bool logStamps, QObject *parent)
    : QObject(parent)
{
    m_gateway = std::make_unique<Gateway>(programDir, SystemClock::instance(), m_prompter);
    m_prompter.attach(m_gateway->log());
    // Nobody is there to press start again when the database comes back.
    m_gateway->service().setPollWhenDatabaseReturns(true);
    m_stdout = std::make_unique<StdoutLog>(m_gateway->log(), stdout, logStamps);
}

GatewayDaemon::~GatewayDaemon() = default;

bool GatewayDaemon::createControls(QString *error)
{
    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    return m_gateway->pool().createRegistered(loader, error);
}

void GatewayDaemon::start()
{
    m_gateway->load();
    m_status = std::make_unique<StatusServer>(*m_gateway, m_gateway->events());
    m_gateway->start();
    m_systemd.ready();
}

void GatewayDaemon::stop()
{
    m_gateway->stop();
}

void GatewayDaemon::handleSignal(int signalNumber)
{
    if (signalNumber == SIGHUP) {
        m_systemd.reloading();
        m_gateway->reload();
        m_systemd.ready();
        return;
    }
    m_systemd.stopping();
    stop();
    QCoreApplication::quit();
}
