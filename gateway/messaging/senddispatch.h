#pragma once

#include "queuedmessage.h"

#include <QList>

class DevicePool;
class DeviceTable;
class MessageStore;
class SendTimings;
class StatusPanel;
struct Settings;

// Moves pending rows from SMS to the modems: the in-memory queue SendQueue (element 0 a
// placeholder, served from its end), one message per free device, status 1 on hand-over. The
// message a device carries is its job, which ties the device's result to its row.
class SendDispatch
{
public:
    SendDispatch(const Settings &settings, DevicePool &pool, DeviceTable &table, StatusPanel &panel,
                 SendTimings &timings, MessageStore &store);

    // The body of the queue poll: load when empty, offer one message to every device.
    void Timer1_Timer();
    void LoadPendingMessages();
    void DispatchToDevice(int d);
    void UpdateSendStatus(const QueuedMessage &message);

    void resetSendQueue();
    int queueLength() const { return int(m_sendQueue.size()) - 1; }
    const QList<QueuedMessage> &sendQueue() const { return m_sendQueue; }

    // DeviceJobs: the message handed to each device; empty when it carries none.
    void resetDeviceJobs(int count) { m_jobs = QList<QueuedMessage>(count); }
    const QList<QueuedMessage> &deviceJobs() const { return m_jobs; }
    // The job of device d, or nullptr when it carries none.
    QueuedMessage *job(int d);

private:
    const Settings &m_settings;
    DevicePool &m_pool;
    DeviceTable &m_table;
    StatusPanel &m_panel;
    SendTimings &m_timings;
    MessageStore &m_store;
    QList<QueuedMessage> m_sendQueue;
    QList<QueuedMessage> m_jobs;
};
