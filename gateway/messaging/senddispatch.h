#pragma once

#include "flowcontext.h"
#include "storage/queuedmessage.h"

#include "policy/policycolumns.h"

#include <QList>
#include <random>

class MessageStore;
class QueueClaims;
class SendingPolicy;
class OptOutList;

// Moves pending rows from SMS to the modems: the in-memory queue SendQueue (element 0 a
// placeholder, served from its end), one message per free device, status 1 on hand-over. The
// message a device carries is its job, which ties the device's result to its row.
class SendDispatch
{
public:
    SendDispatch(const FlowContext &context, MessageStore &store, QueueClaims &claims);
    ~SendDispatch();
    SendDispatch(const SendDispatch &) = delete;
    SendDispatch &operator=(const SendDispatch &) = delete;

    // The body of the queue poll: load when empty, offer one message to every device.
    void Timer1_Timer();
    void LoadPendingMessages();
    void DispatchToDevice(int d);
    void UpdateSendStatus(const QueuedMessage &message);
    // A handed-over message that never reached its modem: its row is pending again (a claim
    // in a shared queue is given back).
    void returnToQueue(QueuedMessage message);

    // Empties the in-memory queue; a row claimed in a shared queue and not handed over goes
    // back to the others.
    void resetSendQueue();
    int queueLength() const { return int(m_sendQueue.size()) - 1; }
    const QList<QueuedMessage> &sendQueue() const { return m_sendQueue; }

    // DeviceJobs: the message handed to each device; empty when it carries none.
    void resetDeviceJobs(int count);
    const QList<QueuedMessage> &deviceJobs() const { return m_jobs; }
    // The job of device d, or nullptr when its modem has none.
    QueuedMessage *job(int d);
    // Device d is gone: its job is let go.
    void deviceLost(int d);
    // Room for count devices; the jobs of those that stay are kept.
    void resizeDeviceJobs(int count);
    // Device d's port closes: its job is let go, and the SysNo of a row its modem holds is
    // returned (its row stays at 1); a row not handed to the modem yet is pending again.
    QString releaseJob(int d);

    // Device d's modem refused row for certain (refusedForCertain) or failed it otherwise. True
    // when the policy gives the row to another device of its route: it is pending again, at
    // the end of the queue, and no longer offered to d.
    bool retryElsewhere(int d, QueuedMessage row, bool refusedForCertain);

    // The Reason column, where the table has it, says why the modem failed a row.
    void noteFailure(const QueuedMessage &row, const QString &why);

    // The sending policy asked before each hand-over while it is on; none by default.
    void setPolicy(SendingPolicy *policy) { m_policy = policy; }
    // The opt-out list every loaded row is screened against; none by default.
    void setOptOut(OptOutList *optOut) { m_optOut = optOut; }

private:
    bool sharing() const;
    // Rows loaded at a time from a shared queue: enough to keep the free devices busy until
    // the next poll, so the rows spread over the gateways by their free modems.
    int shareLoadLimit() const;
    // Takes the message at the end of the queue for this gateway; false when none can be had.
    bool claimLast();
    // Gives device d this job; false, leaving the device without one, when it does not take it.
    bool handOver(int d, const QueuedMessage &job);
    void handOverReserved();
    void returnReserved();
    // Hands the message at the end of the queue to device d; false when the modem did not take it.
    bool handOverLast(int d);
    // The policy gave device d the message at of the queue: its 1 goes with the other status
    // writes of this turn, and the modem gets it after them. False when d has one waiting
    // already.
    bool reserve(int d, qsizetype at);
    void handOverReservedByPolicy();
    bool policyOn() const;
    // The optional columns of loaded rows: an expired row goes to -1, a row not due yet stays
    // at 0 in the table until a later load, and the highest priority goes to the queue's end.
    void schedule(QList<QueuedMessage> &rows);
    bool expired(const QueuedMessage &row) const;
    // Rows of a higher priority than any in the loaded queue, which came after it was loaded,
    // go to its end.
    void loadHigherPriority();
    // Adds to a window of a shared queue the rows of a priority above any in it, at most limit.
    void addHigherPriority(QList<QueuedMessage> &rows, int limit);
    // Row at of the queue goes to -1 with the reason "expired" and leaves the queue.
    void expire(qsizetype at);
    // Row at of the queue goes to -1 unsent with the reason given, and leaves the queue.
    void endUnsent(qsizetype at, const QString &reason, const QString &logLine);
    // A row ended unsent is a failed message to those who follow the events.
    void announceUnsent(const QueuedMessage &row, const QString &reason);
    // One pass of the sending policy over the queue and the free devices.
    void dispatchByPolicy();
    // The pass a device that came free asked for, as the status writes begin.
    void runDuePass();

    FlowContext m_ctx;
    const Settings &m_settings;
    MessageStore &m_store;
    QueueClaims &m_claims;
    SendingPolicy *m_policy = nullptr;
    OptOutList *m_optOut = nullptr;
    QList<QueuedMessage> m_sendQueue;
    QList<QueuedMessage> m_jobs;
    // Devices whose job waits for its status 1 to be written before the modem gets it.
    QList<int> m_reserved;
    // The optional columns the table had at the last load that found rows.
    PolicyColumns m_columns;
    bool m_columnsProbed = false;
    std::minstd_rand m_random{std::random_device{}()};
    // A device came free since the last pass of the policy.
    bool m_passDue = false;
};
