#include "senddispatch.h"

#include "messagestore.h"
#include "queueclaims.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "core/settings.h"
#include "core/statuspanel.h"
#include "modemapi/modemcontrol.h"
#include "sendtimings.h"

#include <algorithm>

SendDispatch::SendDispatch(const FlowContext &context, MessageStore &store, QueueClaims &claims)
    : m_ctx(context), m_settings(context.settings), m_store(store), m_claims(claims)
{
    resetSendQueue();
}

void SendDispatch::resetSendQueue()
{
    for (const QueuedMessage &m : std::as_const(m_sendQueue)) {
        if (m.claimed)
            m_claims.release(m, m_settings.GatewayName);
    }
    m_sendQueue = QList<QueuedMessage>(1);
}

bool SendDispatch::sharing() const
{
    return !m_settings.GatewayName.isEmpty();
}

int SendDispatch::shareLoadLimit() const
{
    int free = 0;
    for (int d = 0; d < m_settings.DeviceCount; ++d)
        free += m_ctx.pool.state(d) == DeviceState::Free ? 1 : 0;
    return 16 * qMax(free, 4);
}

bool SendDispatch::claimLast()
{
    while (queueLength() > 0) {
        QueuedMessage &last = m_sendQueue.last();
        if (last.claimed)
            return true;
        switch (m_claims.claim(last, m_settings.GatewayName)) {
        case QueueClaims::Result::Claimed:
            last.claimed = true;
            last.Status = RowStatus::Handed;
            return true;
        case QueueClaims::Result::TakenByAnother:
            m_sendQueue.removeLast();
            break;
        case QueueClaims::Result::Failed:
            return false;
        }
    }
    return false;
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
    m_ctx.panel.showQueueLength(queueLength());
}

void SendDispatch::LoadPendingMessages()
{
    std::optional<QList<QueuedMessage>> rows;
    if (sharing()) {
        // Gateways that all loaded the oldest rows would reach for the same rows one after
        // the other; each starts at a window of its own choosing among the oldest few, and
        // takes its rows in an order of its own.
        const int limit = shareLoadLimit();
        const int offset = int(m_random() % 3) * limit;
        rows = m_store.loadPending(limit, offset);
        if (rows && rows->isEmpty() && offset > 0)
            rows = m_store.loadPending(limit, 0);
        if (rows)
            std::shuffle(rows->begin(), rows->end(), m_random);
    } else {
        rows = m_store.loadPending();
    }
    if (!rows)
        return;
    m_sendQueue.resize(1);
    m_sendQueue.append(std::move(*rows));
}

void SendDispatch::DispatchToDevice(int d)
{
    if (queueLength() == 0)
        return;
    if (!m_ctx.pool.takesMessages(d))
        return;
    ModemControl *control = m_ctx.pool.control(d);
    if (!control || d >= m_jobs.size())
        return;
    if (sharing() && !claimLast())
        return;
    QueuedMessage &next = m_sendQueue.last();
    next.Status = RowStatus::Handed;
    m_jobs[d] = next;
    if (control->SendMSG(next.CellNumber, next.SMSContent) < 1) {
        // Not taken: the device holds no job, so a stray result cannot write this row.
        m_jobs[d] = QueuedMessage();
        return;
    }
    m_sendQueue.removeLast();
    m_ctx.table.setLink(d, LinkState::Sending);
    m_ctx.pool.setState(d, DeviceState::Busy);
    m_ctx.timings.handedOver(d);
    // A claim has written 1 and the time already.
    if (!m_jobs.at(d).claimed)
        UpdateSendStatus(m_jobs.at(d));
}

void SendDispatch::UpdateSendStatus(const QueuedMessage &message)
{
    m_store.writeStatus(message);
}
