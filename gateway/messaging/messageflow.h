#pragma once

#include "callhandler.h"
#include "databasefilecheck.h"
#include "deliveryreports.h"
#include "devicehealth.h"
#include "devicelosshandler.h"
#include "messagereceiver.h"
#include "messagestore.h"
#include "queueclaims.h"
#include "queuedmessage.h"
#include "senddispatch.h"
#include "sendresults.h"

#include "core/messagepath.h"

#include <QDateTime>
#include <QObject>

class Clock;
class DevicePool;
class DeviceTable;
class LogSink;
class Prompter;
class SendTimings;
class StatusPanel;
struct Settings;

// The message path between the database and the modems: the queue poll and dispatch, send
// results, received messages and incoming calls, over one database connection.
class MessageFlow : public QObject, public MessagePath
{
    Q_OBJECT

public:
    struct Parts
    {
        const Settings &settings;
        DevicePool &pool;
        DeviceTable &table;
        LogSink &log;
        Prompter &prompter;
        StatusPanel &panel;
        SendTimings &timings;
    };

    MessageFlow(const QString &programDir, const Clock &clock, const Parts &parts);
    ~MessageFlow() override;

    bool OpenConnection(const QString &connectionString) override;
    void connectionOpened() override { m_store.writeOutSpool(); }
    bool queueReady() override;
    bool databaseOpen() const override { return m_store.isOpen(); }
    void pollQueue() override { Timer1_Timer(); }
    void resetSendQueue() override { m_dispatch.resetSendQueue(); }
    void resetDeviceJobs(int count) override { m_dispatch.resetDeviceJobs(count); }
    void supervise() override;
    void deviceOpened(int d) override { m_health.update(d); }
    int queueLength() const { return m_dispatch.queueLength(); }
    // Why rows cannot be sent from the database now, in the operator's words; empty when they
    // can. Database figures in it are those of the last start or supervision tick.
    QString cannotSend() const;
    // Rows at 1 by the gateway that claimed them, read at the last tick (shared queue only).
    const QList<std::pair<QString, qint64>> &handedByGateway() const { return m_handed; }
    const QDateTime &countsAt() const { return m_countsAt; }

    void Timer1_Timer();
    void OnSndMsg(int d) { m_results.OnSndMsg(d); }
    void OnRecvMsg(int d) { m_receiver.OnRecvMsg(d); }
    void PhoneCall(int d) { m_calls.PhoneCall(d); }
    void DeviceLost(int d) { m_loss.DeviceLost(d); }
    void HealthChanged(int d) { m_health.update(d); }
    void StatusReport(int d) { m_reports.StatusReport(d); }

    // The test composer's inserter: one pending row on the connection of the last start.
    bool queueTestMessage(const QString &number, const QString &text)
    {
        return m_store.insertTest(number, text);
    }

    MessageStore &store() { return m_store; }
    const MessageStore &store() const { return m_store; }
    DBHelper &db() { return m_store.db(); }
    SendDispatch &dispatch() { return m_dispatch; }
    MessageReceiver &receiver() { return m_receiver; }

    static QString spoolFolder(const QString &programDir);

    QueueClaims &claims() { return m_claims; }
    const QueueClaims &claims() const { return m_claims; }

private:
    bool sharing() const;
    // The shared queue's readiness, its counts and the database file, once a tick.
    void refreshFigures();

    const Settings &m_settings;
    const Clock &m_clock;
    Prompter &m_prompter;
    MessageStore m_store;
    QueueClaims m_claims;
    SendDispatch m_dispatch;
    DeliveryReports m_reports;
    SendResults m_results;
    MessageReceiver m_receiver;
    CallHandler m_calls;
    DeviceHealth m_health;
    DeviceLossHandler m_loss;
    DatabaseFileCheck m_fileCheck;
    // Why a shared queue was refused; the database file's problem; as of the last check.
    QString m_queueRefusal;
    QString m_fileProblem;
    QList<std::pair<QString, qint64>> m_handed;
    QDateTime m_countsAt;
};
