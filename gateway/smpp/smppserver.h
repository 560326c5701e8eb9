#pragma once

#include "smppaccess.h"
#include "smppoutbox.h"
#include "smppparts.h"
#include "smppsettings.h"
#include "smppsubmitted.h"
#include "status/smppcounters.h"

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

class Clock;
class EngineApi;
class EngineEvents;
class QTcpServer;
class SmppSession;
struct DeviceRef;
struct QueueResult;
namespace Smpp {
struct Pdu;
}

// The SMPP 3.4 server: clients bind with an API token, submit rows through the engine as the
// HTTP API does, and get their receipts and the received messages as deliver_sm. Lives on the
// engine's thread; reads [Smpp] when made and at every start of the service.
class SmppServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetrySeconds = 30;
    static constexpr int AnswerSeconds = 60;
    // Connections at once, bound or not.
    static constexpr int MaxConnections = 512;

    SmppServer(EngineApi &engine, EngineEvents &events, const Clock &clock,
               QObject *parent = nullptr);
    ~SmppServer() override;

    // The port listened on, 0 when off.
    quint16 applySettings();
    quint16 port() const;
    SmppCounters counters() const;
    static QString folder(const QString &programDir);

private:
    struct Pending
    {
        SmppDelivery entry;
        SmppSession *session = nullptr;
        qint64 retryAtMs = 0;
    };

    void listen();
    void accept();
    void bind(SmppSession &session, const Smpp::Pdu &pdu);
    // A window of submits: checked, queued in one transaction, then answered.
    struct SubmitItem;
    void submit(SmppSession &session, const QList<Smpp::Pdu> &pdus);
    QList<SubmitItem> prepareItems(SmppSession &session, const QList<Smpp::Pdu> &pdus);
    // Queues the items' rows, dropping what the table cannot hold; items refused are removed.
    QueueResult queueItems(SmppSession &session, QList<SubmitItem> &items);
    void acknowledge(SmppSession &session, const QList<SubmitItem> &items,
                     const QueueResult &result);
    void refuse(SmppSession &session, const Smpp::Pdu &pdu, quint32 status);
    // The item and the repeats of it.
    void refuse(SmppSession &session, const SubmitItem &item, quint32 status);
    void answered(SmppSession &session, const QString &file, quint32 status);
    void closed(SmppSession &session);
    void loadStores();

    void messageSent(qint64 id);
    void messageFailed(qint64 id);
    void messageDelivered(qint64 id, int status);
    void messageReceived(const QString &number, const QString &text, const DeviceRef &device);
    void receipt(qint64 id, int state, int error);
    void enqueue(const QString &token, const QByteArray &body);
    void pump();
    void expire();
    void log(const QString &line);
    // Copies the figures where the status page and /metrics read them.
    void publish();

    EngineApi &m_engine;
    EngineEvents &m_events;
    const Clock &m_clock;
    QString m_folder;
    SmppSettings m_settings;
    SmppSettings m_listening;
    SmppAccess m_access;
    SmppOutbox m_outbox;
    SmppSubmitted m_submitted;
    SmppParts m_parts;
    bool m_loaded = false;
    std::unique_ptr<QTcpServer> m_server;
    QList<SmppSession *> m_sessions;
    std::map<QString, Pending> m_pending;
    QTimer m_retry;
    SmppCounters m_counters;
    QSet<QString> m_missingColumns;
};
