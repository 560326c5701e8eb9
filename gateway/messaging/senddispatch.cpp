#include "senddispatch.h"

#include "optout/optoutlist.h"

#include "messagestore.h"
#include "queueclaims.h"
#include "refusalcleanup.h"
#include "rowscreen.h"
#include "storage/statements.h"

#include "common/clock.h"
#include "core/devicepool.h"
#include "core/devicestates.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "core/statuspanel.h"
#include "model/engineevents.h"
#include "modemapi/modemcontrol.h"
#include "policy/policycolumns.h"
#include "policy/sendingpolicy.h"
#include "sendtimings.h"

#include <algorithm>

SendDispatch::SendDispatch(const FlowContext &context, MessageStore &store, QueueClaims &claims)
    : m_ctx(context), m_settings(context.settings), m_store(store), m_claims(claims)
{
    resetSendQueue();
    m_store.setBeforeStatusFlush([this] { runDuePass(); });
    m_store.setAfterStatusFlush([this] { handOverReserved(); });
}

SendDispatch::~SendDispatch()
{
    m_store.setBeforeStatusFlush({});
    m_store.setAfterStatusFlush({});
}

void SendDispatch::returnReserved()
{
    // A reserved row has its 1 written but never reached a modem: it is pending again.
    for (int d : std::exchange(m_reserved, {})) {
        if (d < m_jobs.size() && !m_jobs.at(d).isEmpty())
            returnToQueue(std::exchange(m_jobs[d], QueuedMessage()));
    }
}

void SendDispatch::resetDeviceJobs(int count)
{
    returnReserved();
    m_jobs = QList<QueuedMessage>(count);
}

void SendDispatch::resetSendQueue()
{
    returnReserved();
    for (const QueuedMessage &m : std::as_const(m_sendQueue)) {
        if (m.claimed)
            m_claims.release(m, m_ctx.settings.GatewayName);
    }
    m_sendQueue = QList<QueuedMessage>(1);
}

bool SendDispatch::sharing() const
{
    return !m_ctx.settings.GatewayName.isEmpty();
}

int SendDispatch::shareLoadLimit() const
{
    int free = 0;
    for (int d = 0; d < m_ctx.settings.DeviceCount; ++d)
        free += m_ctx.pool.state(d) == DeviceState::Free ? 1 : 0;
    return 16 * qMax(free, 4);
}

bool SendDispatch::claimLast()
{
    while (queueLength() > 0) {
        QueuedMessage &last = m_sendQueue.last();
        if (last.claimed)
            return true;
        switch (m_claims.claim(last, m_ctx.settings.GatewayName)) {
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
    if (d < 0 || d >= m_jobs.size() || m_jobs.at(d).isEmpty() || m_reserved.contains(d))
        return nullptr;
    return &m_jobs[d];
}

void SendDispatch::deviceLost(int d)
{
    if (d < 0 || d >= m_jobs.size() || m_jobs.at(d).isEmpty())
        return;
    const QueuedMessage job = std::exchange(m_jobs[d], QueuedMessage());
    // A job in the modem's hands stays at 1 without a write: it may have gone out, and a stray
    // result for it later must not mark the row. A reserved one never left.
    if (m_reserved.removeOne(d))
        returnToQueue(job);
}

void SendDispatch::resizeDeviceJobs(int count)
{
    for (int d = count; d < m_jobs.size(); ++d)
        releaseJob(d);
    m_jobs.resize(count);
}

QString SendDispatch::releaseJob(int d)
{
    if (d < 0 || d >= m_jobs.size() || m_jobs.at(d).isEmpty())
        return {};
    const bool inModem = !m_reserved.contains(d);
    const QString sysNo = m_jobs.at(d).SysNo;
    deviceLost(d);
    return inModem ? sysNo : QString();
}

void SendDispatch::Timer1_Timer()
{
    if (queueLength() == 0)
        LoadPendingMessages();
    else if (m_columns.priority)
        loadHigherPriority();
    if (policyOn()) {
        dispatchByPolicy();
    } else {
        for (int d = 0; d < m_ctx.settings.DeviceCount; ++d)
            DispatchToDevice(d);
    }
    m_ctx.panel.showQueueLength(queueLength());
}

void SendDispatch::LoadPendingMessages()
{
    std::optional<QList<QueuedMessage>> rows;
    if (sharing()) {
        // Gateways that all loaded the oldest rows would reach for the same rows one after
        // the other; each starts at a window of its own choosing among the oldest few, and
        // takes its rows in an order of its own.
        // The window is taken in the order the rows go out, of those that may go now.
        if (!m_columnsProbed)
            m_columns = PolicyColumns::probe(m_store.db());
        m_columnsProbed = true;
        const QString now = Statements::timeText(m_ctx.clock.now());
        const int limit = shareLoadLimit();
        int offset = int(m_random() % 3) * limit;
        rows = m_store.loadPending(m_columns.loadPending(now, limit, offset));
        if (rows && rows->isEmpty() && offset > 0)
            rows = m_store.loadPending(m_columns.loadPending(now, limit, offset = 0));
        if (rows)
            std::shuffle(rows->begin(), rows->end(), m_random);
        // A window further down leaves out rows of a higher priority, which go first.
        if (rows && offset > 0 && m_columns.priority)
            addHigherPriority(*rows, limit);
    } else {
        rows = m_store.loadPending();
    }
    if (!rows)
        return;
    m_sendQueue.resize(1);
    if (!rows->isEmpty()) {
        m_columns = PolicyColumns::probe(m_store.db());
        m_columnsProbed = true;
    }
    schedule(*rows);
    m_sendQueue.append(std::move(*rows));
}

void SendDispatch::loadHigherPriority()
{
    int highest = 0;
    for (qsizetype i = 1; i < m_sendQueue.size(); ++i)
        highest = std::max(highest, m_sendQueue.at(i).Priority);
    const QString now = Statements::timeText(m_ctx.clock.now());
    std::optional<QList<QueuedMessage>> rows =
            m_store.loadPending(m_columns.loadAbove(highest, now));
    if (!rows || rows->isEmpty())
        return;
    schedule(*rows);
    m_sendQueue.append(std::move(*rows));
}

void SendDispatch::addHigherPriority(QList<QueuedMessage> &rows, int limit)
{
    int highest = rows.isEmpty() ? 0 : rows.first().Priority;
    for (const QueuedMessage &row : std::as_const(rows))
        highest = std::max(highest, row.Priority);
    const QString now = Statements::timeText(m_ctx.clock.now());
    if (auto above = m_store.loadPending(m_columns.loadAbove(highest, now, limit)))
        rows.append(std::move(*above));
}

void SendDispatch::schedule(QList<QueuedMessage> &rows)
{
    if (m_optOut)
        m_optOut->screen(rows);
    if (policyOn()) {
        RefusalCleanup::forgetDeletedRows(m_store.db(), *m_policy);
        m_policy->recallRefusals(rows);
    }
    const QDateTime now = m_ctx.clock.now();
    bool prioritised = false;
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        // Through the queue, so the row is ended as one waiting there would be.
        if (const std::optional<RowRefusal> refusal = RowScreen::check(rows[i])) {
            m_sendQueue.append(rows.takeAt(i));
            endUnsent(m_sendQueue.size() - 1, refusal->reason, refusal->logLine);
            continue;
        }
        const QueuedMessage &row = rows.at(i);
        prioritised = prioritised || row.Priority != 0;
        if (row.SendAfter.isValid() && row.SendAfter > now) {
            rows.removeAt(i);
        } else if (expired(row)) {
            // Through the queue, so the row is refused as one waiting there would be.
            m_sendQueue.append(rows.takeAt(i));
            expire(m_sendQueue.size() - 1);
        }
    }
    // Equal priorities keep the order they were loaded in.
    if (prioritised)
        std::stable_sort(rows.begin(), rows.end(),
                         [](const QueuedMessage &a, const QueuedMessage &b) {
                             return a.Priority < b.Priority;
                         });
}

bool SendDispatch::expired(const QueuedMessage &row) const
{
    return row.ValidUntil.isValid() && row.ValidUntil < m_ctx.clock.now();
}

void SendDispatch::expire(qsizetype at)
{
    const QueuedMessage &row = m_sendQueue.at(at);
    endUnsent(at, QStringLiteral("expired"),
              QStringLiteral("短信(SysNo=%1)未发送：已过有效期%2")
                      .arg(row.SysNo, Statements::timeText(row.ValidUntil)));
}

void SendDispatch::endUnsent(qsizetype at, const QString &reason, const QString &logLine)
{
    const QueuedMessage row = m_sendQueue.takeAt(at);
    const QDateTime now = m_ctx.clock.now();
    if (policyOn())
        m_policy->rowEnded(row.SysNo);
    m_ctx.log.WriteLog(logLine);
    announceUnsent(row, reason);
    if (row.claimed) {
        // Claimed, it is at 1 already and this gateway's to end.
        QueuedMessage failed = row;
        failed.Status = RowStatus::Failed;
        UpdateSendStatus(failed);
        noteFailure(failed, reason);
        return;
    }
    // A failed write leaves the row pending; the next load meets the same time.
    m_store.db().ExecSQLString(
            PolicyColumns::probe(m_store.db()).refuse(row.SysNo, Statements::timeText(now), reason));
}

void SendDispatch::DispatchToDevice(int d)
{
    if (policyOn()) {
        // The policy, not the device that came free, decides which device takes a row. One
        // pass as this turn's status writes begin serves every device that came free in the
        // turn: the rows it hands out go with those writes, so none reaches its modem later
        // than if each result had its own pass.
        m_passDue = true;
        m_store.flushSoon();
        return;
    }
    if (queueLength() == 0)
        return;
    if (!m_ctx.pool.takesMessages(d) || d >= m_jobs.size() || !m_jobs.at(d).isEmpty())
        return;
    if (!m_ctx.pool.control(d))
        return;
    while (queueLength() > 0 && expired(m_sendQueue.last()))
        expire(m_sendQueue.size() - 1);
    if (queueLength() == 0 || (sharing() && !claimLast()))
        return;
    m_jobs[d] = m_sendQueue.takeLast();
    m_jobs[d].Status = RowStatus::Handed;
    // A claim has written 1 and the time already. Otherwise the 1 goes with the other status
    // writes of this turn, and the modem gets the message only once it is in the database (or
    // the spool): a crash in between must never leave a sent row at 0, to be sent again.
    if (m_jobs.at(d).claimed) {
        const QueuedMessage claimed = std::exchange(m_jobs[d], QueuedMessage());
        // Not taken, it stays the end of the queue for the next device.
        if (!handOver(d, claimed))
            m_sendQueue.append(claimed);
        return;
    }
    m_reserved.append(d);
    UpdateSendStatus(m_jobs.at(d));
}

void SendDispatch::handOverReserved()
{
    if (policyOn()) {
        handOverReservedByPolicy();
        return;
    }
    // Each reserved row was the end of the queue when its device was offered it. Handed in
    // the same order, a row its device does not take is offered to the next device instead,
    // as if they had been handed one by one; rows left over go back to the queue.
    const QList<int> devices = std::exchange(m_reserved, {});
    QList<QueuedMessage> rows;
    for (int d : devices)
        rows.append(std::exchange(m_jobs[d], QueuedMessage()));
    qsizetype next = 0;
    for (int d : devices) {
        if (next < rows.size() && handOver(d, rows.at(next)))
            ++next;
    }
    if (next == rows.size())
        return;
    for (qsizetype i = rows.size() - 1; i >= next; --i) {
        QueuedMessage back = rows.at(i);
        back.Status = RowStatus::Pending;
        UpdateSendStatus(back);
        m_sendQueue.append(back);
    }
    // The 0s are written now, not a turn later: the rows are waiting again at once.
    m_store.flushStatuses();
}

void SendDispatch::handOverReservedByPolicy()
{
    // Each row goes to the device the policy chose for it, or back to the queue: another
    // device may be outside its route. All are counted with one wait for the disk, before
    // any modem has one.
    const QList<int> devices = std::exchange(m_reserved, {});
    QList<QueuedMessage> rows;
    for (int d : devices)
        rows.append(std::exchange(m_jobs[d], QueuedMessage()));
    m_policy->handedOver(devices, rows);
    bool returned = false;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (handOver(devices.at(i), rows.at(i)))
            continue;
        QueuedMessage back = rows.at(i);
        back.Status = RowStatus::Pending;
        UpdateSendStatus(back);
        m_sendQueue.append(back);
        returned = true;
    }
    if (returned)
        m_store.flushStatuses();
}

bool SendDispatch::handOver(int d, const QueuedMessage &job)
{
    ModemControl *control = m_ctx.pool.control(d);
    if (!control || !m_ctx.pool.takesMessages(d))
        return false;
    m_jobs[d] = job;
    if (control->SendMSG(job.CellNumber, job.SMSContent) < 1) {
        // Not taken: the device holds no job, so a stray result cannot write this row.
        m_jobs[d] = QueuedMessage();
        return false;
    }
    m_ctx.states.apply(d, DeviceEvent::HandedOver);
    m_ctx.timings.handedOver(d);
    return true;
}

// The policy hands rows one at a time: each row's 1 is in the database (or the spool) before
// its modem gets it, and goes back to 0 when the modem does not take it.
bool SendDispatch::handOverLast(int d)
{
    if (!m_ctx.pool.control(d) || d >= m_jobs.size())
        return false;
    QueuedMessage next = m_sendQueue.last();
    next.Status = RowStatus::Handed;
    if (!next.claimed) {
        UpdateSendStatus(next);
        m_store.flushStatuses();
    }
    // Counted before the modem has it: a crash afterwards must not give the SIM a send back.
    if (policyOn())
        m_policy->handedOver(d, next);
    if (!handOver(d, next)) {
        if (!next.claimed) {
            next.Status = RowStatus::Pending;
            UpdateSendStatus(next);
        }
        return false;
    }
    m_sendQueue.removeLast();
    return true;
}

bool SendDispatch::reserve(int d, qsizetype at)
{
    // A device whose row waits for its 1 to be written takes no other.
    if (!m_ctx.pool.control(d) || d >= m_jobs.size() || !m_jobs.at(d).isEmpty())
        return false;
    m_jobs[d] = m_sendQueue.takeAt(at);
    m_jobs[d].Status = RowStatus::Handed;
    m_reserved.append(d);
    UpdateSendStatus(m_jobs.at(d));
    return true;
}

bool SendDispatch::policyOn() const
{
    return m_policy && m_policy->enabled();
}

void SendDispatch::runDuePass()
{
    if (m_passDue && policyOn())
        dispatchByPolicy();
}

void SendDispatch::dispatchByPolicy()
{
    m_passDue = false;
    const auto handOver = [this](int d, qsizetype at) {
        if (expired(m_sendQueue.at(at))) {
            expire(at);
            return SendingPolicy::HandOver::Gone;
        }
        // A row of this gateway alone is taken from where it stands.
        if (!sharing() && !m_sendQueue.at(at).claimed)
            return reserve(d, at) ? SendingPolicy::HandOver::Taken
                                  : SendingPolicy::HandOver::NotTaken;
        const qsizetype last = m_sendQueue.size() - 1;
        m_sendQueue.move(at, last);
        if (sharing() && !m_sendQueue.last().claimed) {
            switch (m_claims.claim(m_sendQueue.last(), m_ctx.settings.GatewayName)) {
            case QueueClaims::Result::Claimed:
                m_sendQueue.last().claimed = true;
                m_sendQueue.last().Status = RowStatus::Handed;
                break;
            case QueueClaims::Result::TakenByAnother:
                m_sendQueue.removeLast();
                return SendingPolicy::HandOver::Gone;
            case QueueClaims::Result::Failed:
                m_sendQueue.move(last, at);
                return SendingPolicy::HandOver::Stop;
            }
        }
        if (handOverLast(d))
            return SendingPolicy::HandOver::Taken;
        m_sendQueue.move(last, at);
        return SendingPolicy::HandOver::NotTaken;
    };
    const auto refuse = [this](qsizetype at, const QString &reason, const QDateTime &when) {
        const QueuedMessage row = m_sendQueue.takeAt(at);
        m_policy->rowEnded(row.SysNo);
        announceUnsent(row, reason);
        // A failed write leaves the row pending; the next load meets the same limit.
        m_store.db().ExecSQLString(PolicyColumns::probe(m_store.db())
                                           .refuse(row.SysNo, Statements::timeText(when), reason));
    };
    m_policy->dispatch(m_sendQueue, handOver, refuse, m_reserved);
}

void SendDispatch::announceUnsent(const QueuedMessage &row, const QString &reason)
{
    EngineEvents &events = m_ctx.events;
    if (!events.followed(&EngineEvents::messageFailed))
        return;
    Q_EMIT events.messageFailed(row.SysNo.toLongLong(), row.CellNumber, {}, reason,
                                m_ctx.clock.now());
    // Told before the row's -1 is written.
    Q_EMIT events.committing();
}

bool SendDispatch::retryElsewhere(int d, QueuedMessage row, bool refusedForCertain)
{
    if (!policyOn() || !m_policy->retryElsewhere(d, row, refusedForCertain))
        return false;
    // A claimed row keeps its claim: this gateway still sends it, through another modem.
    if (!row.claimed) {
        row.Status = RowStatus::Pending;
        UpdateSendStatus(row);
    }
    m_sendQueue.append(std::move(row));
    return true;
}

void SendDispatch::noteFailure(const QueuedMessage &row, const QString &why)
{
    // The -1 itself goes through the spool; a reason lost with the database is only a note.
    if (m_columns.reason && !why.isEmpty())
        m_store.db().ExecSQLString(PolicyColumns::noteReason(row.SysNo, why));
}

void SendDispatch::UpdateSendStatus(const QueuedMessage &message)
{
    if ((message.Status == RowStatus::Sent || message.Status == RowStatus::Failed) && policyOn())
        m_policy->rowEnded(message.SysNo);
    m_store.writeStatus(message);
}

void SendDispatch::returnToQueue(QueuedMessage message)
{
    if (message.claimed) {
        m_claims.release(message, m_ctx.settings.GatewayName);
        return;
    }
    message.Status = RowStatus::Pending;
    m_store.writeStatus(message);
}
