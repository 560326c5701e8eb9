#pragma once

#include "smpppdu.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

// One client's connection: its framing, its bind state, its idle timer and the deliver_sm it
// has not answered yet. What a bind or a submit means is the server's; the session answers
// enquire_link, unbind and what it does not understand itself.
class SmppSession : public QObject
{
    Q_OBJECT

public:
    enum class Bind { None, Transmitter, Receiver, Transceiver };

    struct Handlers
    {
        std::function<void(SmppSession &, const Smpp::Pdu &)> bind;
        // Every submit_sm and submit_multi of one read, in order: answered together.
        std::function<void(SmppSession &, const QList<Smpp::Pdu> &)> submit;
        // A deliver_sm answered (status from deliver_sm_resp or generic_nack).
        std::function<void(SmppSession &, const QString &file, quint32 status)> answered;
        std::function<void(SmppSession &)> closed;
    };

    SmppSession(QTcpSocket *socket, int idleSeconds, Handlers handlers,
                QObject *parent = nullptr);
    ~SmppSession() override;

    void respond(const Smpp::Pdu &request, quint32 status, const QByteArray &body = {});
    // Sends a deliver_sm for the outbox entry file.
    void deliver(const QString &file, const QByteArray &body);
    // Ends the session once what was written has gone.
    void closeAfterWrite();

    void setBound(Bind bind, const QString &token, bool reads);
    Bind bind() const { return m_bind; }
    bool receives() const { return m_bind == Bind::Receiver || m_bind == Bind::Transceiver; }
    bool transmits() const { return m_bind == Bind::Transmitter || m_bind == Bind::Transceiver; }
    const QString &token() const { return m_token; }
    bool reads() const { return m_reads; }
    int inFlight() const { return int(m_inFlight.size()); }
    bool closing() const { return m_closing; }
    // A deliver_sm unanswered for longer than ms: the client is stuck.
    bool overdue(qint64 ms) const;
    // Ends the session now.
    void abort();
    QString peer() const;

    qint64 submits = 0;
    qint64 delivered = 0;

private:
    void readPdus();
    void handle(const Smpp::Pdu &pdu, QList<Smpp::Pdu> *batch);
    void write(const Smpp::Pdu &pdu);
    void finish();

    QPointer<QTcpSocket> m_socket;
    Handlers m_handlers;
    QByteArray m_buffer;
    QTimer m_idle;
    Bind m_bind = Bind::None;
    QString m_token;
    bool m_reads = false;
    bool m_closing = false;
    bool m_finished = false;
    quint32 m_sequence = 0;
    struct InFlight
    {
        QString file;
        qint64 sentMs = 0;
    };
    QHash<quint32, InFlight> m_inFlight;
    QElapsedTimer m_clock;
};
