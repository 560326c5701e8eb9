#pragma once

#include "callhandler.h"
#include "deliveryreports.h"
#include "devicehealth.h"
#include "devicelosshandler.h"
#include "messagereceiver.h"
#include "messagestore.h"
#include "queueclaims.h"
#include "queuefigurereader.h"
#include "senddispatch.h"
#include "sendresults.h"
#include "storage/databasefilecheck.h"
#include "storage/queuedmessage.h"

#include "core/deviceevents.h"
#include "core/messagepath.h"
#include "policy/sendingpolicy.h"

#include <QDateTime>
#include <QObject>
#include <QString>

class Prompter;

// The message path between the database and the modems: the queue poll and dispatch, send
// results, received messages and incoming calls, over one database connection. The pool hands
// it every modem's events.
class MessageFlow : public QObject, public MessagePath, public DeviceEvents
{
    Q_OBJECT

public:
    MessageFlow(const QString &programDir, const FlowContext &context, Prompter &prompter);
    ~MessageFlow() override;

    bool OpenConnection(const QString &connectionString) override;
    void connectionOpened() override;
    bool queueReady() override;
    bool databaseOpen() const override { return m_store.isOpen(); }
    void pollQueue() override { Timer1_Timer(); }
    void resetSendQueue() override { m_dispatch.resetSendQueue(); }
    void resetDeviceJobs(int count) override { m_dispatch.resetDeviceJobs(count); }
    void resizeDeviceJobs(int count) override { m_dispatch.resizeDeviceJobs(count); }
    QString releaseJob(int d) override { return m_dispatch.releaseJob(d); }
    void offerTo(int d) override { m_dispatch.DispatchToDevice(d); }
    void supervise() override;
    void deviceOpened(int d) override { m_health.update(d); }
    QStringList rowsInFlight() const override;
    int queueLength() const override { return m_dispatch.queueLength(); }
    // Why rows cannot be sent from the database now, in the operator's words; empty when they
    // can. Database figures in it are those of the last start or supervision tick.
    QString cannotSend() const;
    // Rows at 1 by the gateway that claimed them, read at the last tick or, between ticks, at a
    // poll once they were ten seconds old (shared queue only).
    const QList<std::pair<QString, qint64>> &handedByGateway() const { return m_handed; }
    const QDateTime &countsAt() const { return m_countsAt; }
    // Rows at 1 longer than StuckAfter, as of the last tick; -1 while not known.
    qint64 rowsStuck() const { return m_rowsStuck; }
    const QDateTime &lastPoll() const { return m_lastPoll; }
    // The queue in the database and the server's version, as of the last tick.
    const QueueFigures &queueFigures() const { return m_queue; }
    const QString &serverVersion() const { return m_serverVersion; }
    // Why the database is not open, in its client's words; empty while it is.
    QString databaseReason() const;
    // Rows at 1 back to 0 for the operator, in one transaction: those still at 1, on a shared
    // queue this gateway's claims only, less those whose outcome is on its way here (a device
    // of this gateway holds it, or its result waits to be written). The number moved, or -1
    // with *error.
    int requeueRows(const QList<qint64> &ids, QString *error);

    void Timer1_Timer();

    // DeviceEvents
    void sendFinished(int d, int result) override { m_results.sendFinished(d, result); }
    void notice(int d, const QString &text) override;
    void messageWaiting(int d) override { m_receiver.messageWaiting(d); }
    void callRinging(int d) override { m_calls.callRinging(d); }
    void deviceLost(int d, const QString &why) override { m_loss.deviceLost(d, why); }
    void healthChanged(int d) override { m_health.update(d); }
    void statusReportWaiting(int d) override { m_reports.statusReportWaiting(d); }
    void messagesRemoved(int, const QStringList &keys) override
    {
        m_receiver.messagesRemoved(keys);
    }

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
    // What holds message texts in the program folder, relative to it.
    static QStringList messageFiles()
    {
        return {QStringLiteral("spool"), QStringLiteral("quarantine"),
                QStringLiteral("received.journal"), QStringLiteral("parts"),
                QStringLiteral("webhooks")};
    }

    QueueClaims &claims() { return m_claims; }
    SendingPolicy &policy() { return m_policy; }
    const QueueClaims &claims() const { return m_claims; }

private:
    bool sharing() const;
    // The shared queue's readiness, its counts and the database file, once a tick.
    void refreshFigures();
    void countStuckRows();
    void readQueueFigures();
    // The device that holds row id, else the gateway that claimed it.
    QString holderOf(qint64 id, const QString &gateway) const;
    // The device of this gateway that holds row id now; -1 when none.
    int deviceHolding(qint64 id) const;
    void refreshCounts();

    static constexpr int CountsMaxAgeSeconds = 10;

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
    LogSink &m_log;
    EngineHistory &m_history;
    QString m_programDir;
    SendingPolicy m_policy;
    DatabaseFileCheck m_fileCheck;
    // Why a shared queue was refused, as of the last check.
    QString m_queueRefusal;
    QList<std::pair<QString, qint64>> m_handed;
    QDateTime m_countsAt;
    qint64 m_rowsStuck = -1;
    QueueFigureReader m_figureReader;
    QueueFigures m_queue;
    QString m_serverVersion;
    QDateTime m_lastPoll;
};
