#include "senddispatch.h"

#include "messagestore.h"

#include "core/gateway.h"
#include "modemapi/modemcontrol.h"

SendDispatch::SendDispatch(Gateway &gateway, MessageStore &store) : m_gw(gateway), m_store(store)
{
    resetSendQueue();
}

void SendDispatch::resetSendQueue()
{
    m_sendQueue = QList<QueuedMessage>(1);
}

void SendDispatch::Timer1_Timer()
{
    if (queueLength() == 0)
        LoadPendingMessages();
    for (int d = 0; d < m_gw.settings().DeviceCount; ++d)
        DispatchToDevice(d);
    m_gw.showQueueLength(queueLength());
}

void SendDispatch::LoadPendingMessages()
{
    auto rows = m_store.loadPending();
    if (!rows)
        return;
    m_sendQueue.resize(1);
    m_sendQueue.append(std::move(*rows));
}

void SendDispatch::DispatchToDevice(int d)
{
    const int n = queueLength();
    if (n == 0)
        return;
    if (m_gw.modems().DeviceState(d) != DevicePool::free())
        return;
    ModemControl *control = m_gw.modems().control(d);
    if (!control || d >= m_gw.DeviceJobs().size())
        return;
    QueuedMessage &next = m_sendQueue[n];
    next.Status = QStringLiteral("1");
    m_gw.DeviceJobs()[d] = next;
    if (control->SendMSG(next.CellNumber, next.SMSContent) < 1) {
        // Not taken: the device holds no job, so a stray result cannot write this row.
        m_gw.DeviceJobs()[d] = QueuedMessage();
        return;
    }
    m_sendQueue.removeLast();
    m_gw.devices().setStatus(d, QStringLiteral("正在发送"));
    m_gw.modems().setDeviceState(d, DevicePool::busy());
    m_gw.sendTimings().handedOver(d);
    UpdateSendStatus(m_gw.DeviceJobs().at(d));
}

void SendDispatch::UpdateSendStatus(const QueuedMessage &message)
{
    m_store.writeStatus(message);
}
