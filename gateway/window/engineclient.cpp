#include "engineclient.h"

#include "engine/enginebridge.h"
#include "model/engineapi.h"

#include <QPointer>

EngineClient::EngineClient(EngineApi &engine, EngineBridge &bridge, QObject *parent)
    : QObject(parent), m_engine(engine), m_bridge(bridge), m_configPath(engine.configPath())
{
    // Queued also when the engine shares this thread, so the window sees the same order either
    // way.
    connect(&bridge, &EngineBridge::batchReady, this, &EngineClient::apply, Qt::QueuedConnection);
    connect(&bridge, &EngineBridge::messageRequested, this, &EngineClient::messageRequested,
            Qt::QueuedConnection);
    connect(&bridge, &EngineBridge::searchProgress, this, &EngineClient::searchProgress,
            Qt::QueuedConnection);
    connect(&bridge, &EngineBridge::searchFinished, this, &EngineClient::searchFinished,
            Qt::QueuedConnection);
    connect(&bridge, &EngineBridge::testProgress, this, &EngineClient::testProgress,
            Qt::QueuedConnection);
    connect(
            &bridge, &EngineBridge::replied, this, [](const EngineReply &reply) { reply(); },
            Qt::QueuedConnection);
    onEngine([](EngineApi &, EngineBridge &b) { b.sendSnapshot(); });
}

void EngineClient::onEngine(std::function<void(EngineApi &, EngineBridge &)> work)
{
    QMetaObject::invokeMethod(
            &m_bridge,
            [gw = &m_engine, bridge = &m_bridge, work = std::move(work)] { work(*gw, *bridge); },
            Qt::QueuedConnection);
}

void EngineClient::apply(const EngineBatch &batch)
{
    if (batch.logText) {
        m_logText = *batch.logText;
        Q_EMIT logReset(m_logText);
    }
    if (!batch.logAppended.isEmpty()) {
        m_logText += batch.logAppended;
        Q_EMIT logAppended(batch.logAppended);
    }
    for (const TableChange &change : batch.table)
        applyTable(change);
    if (batch.statusPanel) {
        m_statusPanel = *batch.statusPanel;
        Q_EMIT statusPanelChanged(m_statusPanel);
    }
    if (batch.running) {
        m_running = *batch.running;
        Q_EMIT serviceRunningChanged(m_running);
    }
}

void EngineClient::applyTable(const TableChange &change)
{
    switch (change.kind) {
    case TableChange::Reset:
        m_devices.setStatuses(change.devices);
        break;
    case TableChange::Insert:
        m_devices.insertStatuses(change.first, change.devices);
        break;
    case TableChange::Remove:
        m_devices.removeDeviceRows(change.first, change.last);
        break;
    case TableChange::Update:
        m_devices.replaceStatuses(change.first, change.devices);
        break;
    }
}

void EngineClient::formLoad()
{
    onEngine([](EngineApi &gw, EngineBridge &) { gw.load(); });
}

void EngineClient::startService()
{
    onEngine([](EngineApi &gw, EngineBridge &) { gw.start(); });
}

void EngineClient::stopService()
{
    onEngine([](EngineApi &gw, EngineBridge &) { gw.stop(); });
}

void EngineClient::stopServiceThen(std::function<void()> done)
{
    // Answered once the stop has closed the ports, which may be after later requests were.
    onEngine([done = std::move(done)](EngineApi &gw, EngineBridge &bridge) {
        gw.stop();
        gw.whenStopped([&bridge, done] {
            bridge.flush();
            Q_EMIT bridge.replied(done);
        });
    });
}

void EngineClient::deleteDevice(int row)
{
    onEngine([row](EngineApi &gw, EngineBridge &) { gw.removeDevice(row); });
}

void EngineClient::addDevice(const QString &port, const QString &rate)
{
    onEngine([port, rate](EngineApi &gw, EngineBridge &) { gw.addDevice(port, rate); });
}

void EngineClient::whenDevicesEditable(QObject *context, std::function<void()> then)
{
    onEngine([context = QPointer<QObject>(context), then = std::move(then)](EngineApi &gw,
                                                                            EngineBridge &bridge) {
        if (!gw.mayEditDevices())
            return;
        bridge.flush();
        Q_EMIT bridge.replied([context, then] {
            if (context)
                then();
        });
    });
}

void EngineClient::searchDevices(bool useRange, const QString &fromText, const QString &toText)
{
    const DeviceSearchRequest request{useRange, fromText, toText, m_portLister};
    onEngine([request](EngineApi &gw, EngineBridge &bridge) {
        gw.searchDevices(
                request, [&bridge](int percent) { Q_EMIT bridge.searchProgress(percent); },
                [&bridge] {
                    bridge.flush();
                    Q_EMIT bridge.searchFinished();
                });
    });
}

void EngineClient::sendTestMessages(const QString &numbersText, const QString &messageText)
{
    onEngine([numbersText, messageText](EngineApi &gw, EngineBridge &bridge) {
        gw.queueTestMessages(numbersText, messageText,
                             [&bridge](int percent) { Q_EMIT bridge.testProgress(percent); });
    });
}

void EngineClient::WriteLog(const QString &message)
{
    onEngine([message](EngineApi &gw, EngineBridge &) { gw.writeLog(message); });
}

void EngineClient::afterEngine(std::function<void()> done)
{
    onEngine([done = std::move(done)](EngineApi &, EngineBridge &bridge) {
        bridge.flush();
        Q_EMIT bridge.replied(done);
    });
}
