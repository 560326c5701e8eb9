#include "senddispatch.h"

#include "messagestore.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/settings.h"
#include "core/statuspanel.h"
#include "modemapi/modemcontrol.h"
#include "status/sendtimings.h"

SendDispatch::SendDispatch(const Settings &settings, DevicePool &pool, DeviceTable &table,
                           StatusPanel &panel, SendTimings &timings, MessageStore &store)
    : m_settings(settings), m_pool(pool), m_table(table), m_panel(panel), m_timings(timings),
      m_store(store)
{
    resetSendQueue();
}

void SendDispatch::resetSendQueue()
{
    m_sendQueue = QList<QueuedMessage>(1);
}

QueuedMessage *SendDispatch::job(int d)
{
    if (d < 0 || d >= m_jobs.size() || m_jobs.at(d).isEmpty())
        return nullptr;
    return &m_jobs[d];
}

void SendDispatch::Timer1_Timer()
{
    if (queueLength() == 0)
        LoadPendingMessages();
    for (int d = 0; d < m_settings.DeviceCount; ++d)
        DispatchToDevice(d);
    m_panel.showQueueLength(queueLength());
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
    if (!m_pool.takesMessages(d))
        return;
    ModemControl *control = m_pool.control(d);
    if (!control || d >= m_jobs.size())
        return;
    QueuedMessage &next = m_sendQueue[n];
    next.Status = RowStatus::Handed;
    m_jobs[d] = next;
    if (control->SendMSG(next.CellNumber, next.SMSContent) < 1) {
        // Not taken: the device holds no job, so a stray result cannot write this row.
        m_jobs[d] = QueuedMessage();
        return;
    }
    m_sendQueue.removeLast();
    m_table.setStatus(d, QStringLiteral("正在发送"));
    m_pool.setState(d, DeviceState::Busy);
    m_timings.handedOver(d);
    UpdateSendStatus(m_jobs.at(d));
}

void SendDispatch::UpdateSendStatus(const QueuedMessage &message)
{
    m_store.writeStatus(message);
}
