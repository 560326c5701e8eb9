#include "engineclient.h"

#include "core/service.h"
#include "discovery/devicesearch.h"
#include "engine/enginebridge.h"
#include "engine/gateway.h"
#include "messaging/messageflow.h"
#include "testmsg/testcomposer.h"

#include <QPointer>

EngineClient::EngineClient(Gateway &engine, EngineBridge &bridge, QObject *parent)
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
    onEngine([](Gateway &, EngineBridge &b) { b.sendSnapshot(); });
}

void EngineClient::onEngine(std::function<void(Gateway &, EngineBridge &)> work)
{
    QMetaObject::invokeMethod(
            &m_engine,
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
        m_devices.setRows(change.rows);
        break;
    case TableChange::Insert:
        m_devices.insertDeviceRows(change.first, change.rows);
        break;
    case TableChange::Remove:
        m_devices.removeDeviceRows(change.first, change.last);
        break;
    case TableChange::Update:
        m_devices.replaceRows(change.first, change.rows);
        break;
    }
}

void EngineClient::formLoad()
{
    onEngine([](Gateway &gw, EngineBridge &) { gw.FormLoad(); });
}

void EngineClient::startService()
{
    onEngine([](Gateway &gw, EngineBridge &) { gw.service().mnuQDFW_Click(); });
}

void EngineClient::stopService()
{
    onEngine([](Gateway &gw, EngineBridge &) { gw.service().mnuGXFW_Click(); });
}

void EngineClient::stopServiceThen(std::function<void()> done)
{
    // Answered from the stop itself: the stop lets the engine's loop run, and a later request
    // could be answered before the stop is over.
    onEngine([done = std::move(done)](Gateway &gw, EngineBridge &bridge) {
        gw.service().mnuGXFW_Click();
        bridge.flush();
        Q_EMIT bridge.replied(done);
    });
}

void EngineClient::deleteDevice(int row)
{
    onEngine([row](Gateway &gw, EngineBridge &) { gw.mnuSCSB_Click(row); });
}

void EngineClient::addDevice(const QString &port, const QString &rate)
{
    onEngine([port, rate](Gateway &gw, EngineBridge &) {
        gw.devices().appendRow(DeviceRow::fresh(port, rate));
        gw.updateparas();
    });
}

void EngineClient::whenDevicesEditable(QObject *context, std::function<void()> then)
{
    onEngine([context = QPointer<QObject>(context), then = std::move(then)](Gateway &gw,
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
    onEngine([useRange, fromText, toText, lister = m_portLister](Gateway &gw,
                                                                 EngineBridge &bridge) {
        DeviceSearch search(gw, lister);
        QObject::connect(&search, &DeviceSearch::progress, &bridge, &EngineBridge::searchProgress);
        search.run(useRange, fromText, toText);
        bridge.flush();
        Q_EMIT bridge.searchFinished();
    });
}

void EngineClient::sendTestMessages(const QString &numbersText, const QString &messageText)
{
    onEngine([numbersText, messageText](Gateway &gw, EngineBridge &bridge) {
        TestComposer composer(
                [&gw](const QString &number, const QString &text) {
                    return gw.flow().queueTestMessage(number, text);
                },
                gw.prompter());
        QObject::connect(&composer, &TestComposer::progress, &bridge, &EngineBridge::testProgress);
        composer.send(numbersText, messageText);
    });
}

void EngineClient::WriteLog(const QString &message)
{
    onEngine([message](Gateway &gw, EngineBridge &) { gw.WriteLog(message); });
}

void EngineClient::afterEngine(std::function<void()> done)
{
    onEngine([done = std::move(done)](Gateway &, EngineBridge &bridge) {
        bridge.flush();
        Q_EMIT bridge.replied(done);
    });
}
