#pragma once

#include "atcommand.h"
#include "atlinesplitter.h"

#include <QDeadlineTimer>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QTimer>

#include <functional>

// Talks AT over any QIODevice: a queue of commands, one at a time, each with its time-out;
// echo is tolerated, unsolicited result codes are recognised whenever they come, also in the
// middle of a command, and vendor chatter is dropped. Event-driven; open() of a modem may
// drive it synchronously with runUntilIdle().
class AtChannel : public QObject
{
    Q_OBJECT

public:
    using Callback = std::function<void(const AtResult &)>;

    explicit AtChannel(QIODevice *device, QObject *parent = nullptr);
    ~AtChannel() override;

    void send(const AtCommand &command, Callback done = {});
    bool isIdle() const { return !m_current && m_queue.isEmpty(); }
    qsizetype queued() const { return m_queue.size() + (m_current ? 1 : 0); }
    // Ends every queued command with Status::Closed without writing anything more.
    void abortAll();
    // Processes what the device has to read; the channel does this itself on readyRead.
    void readAvailable();
    // Runs the queue synchronously on a device that supports waitForReadyRead, until it is
    // empty or the deadline passes (the running command then ends with Status::Timeout).
    bool runUntilIdle(QDeadlineTimer deadline);

Q_SIGNALS:
    // An unsolicited result code; for +CMT and +CDS the PDU line that followed it.
    void unsolicited(const AtResponse::Line &line, const QByteArray &pdu);
    void timedOut(const QByteArray &command);

private:
    struct Pending
    {
        AtCommand command;
        Callback done;
        AtResult result;
        bool promptSeen = false;
    };

    void startNext();
    void handleLine(const QByteArray &line);
    void finishCurrent(AtResult::Status status, const AtResponse::Line *final);
    void onTimeout();
    bool isEcho(const QByteArray &line) const;
    bool belongsToCurrent(const QByteArray &line, const AtResponse::Line &kind) const;

    QPointer<QIODevice> m_device;
    AtLineSplitter m_splitter;
    QQueue<Pending> m_queue;
    std::optional<Pending> m_current;
    QTimer m_timer;
    // A URC whose PDU is on the next line (+CMT, +CDS), or a +CMGR/+CMGL line awaiting its PDU.
    std::optional<AtResponse::Line> m_awaitingPdu;
    bool m_responseAwaitsPdu = false;
    bool m_inCallback = false;
};
