#pragma once

#include "atcommand.h"
#include "atlinesplitter.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
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
    bool isIdle() const
    {
        return !m_current && m_queue.isEmpty() && !m_settle.isActive() && !m_resyncNeeded;
    }
    qsizetype queued() const { return m_queue.size() + (m_current ? 1 : 0); }
    // Ends every queued command with Status::Closed without writing anything more.
    void abortAll();
    // Processes what the device has to read; the channel does this itself on readyRead.
    void readAvailable();
    // The same, also with what the device holds but the event loop has not fetched yet (a
    // loop that was held up).
    void readPending();
    // Runs the queue synchronously on a device that supports waitForReadyRead, until it is
    // empty or the deadline passes (the running command then ends with Status::Timeout).
    bool runUntilIdle(QDeadlineTimer deadline);

    // After a time-out the channel writes a bare AT and reads to its answer before the next
    // command, so that a late answer of the command that timed out cannot complete another one.
    // Off while a modem is being probed, where every attempt is expected to time out.
    void setRecovery(bool on) { m_recovery = on; }
    void setResyncTimeout(int ms) { m_resyncMs = ms; }
    // Some modems doze on an idle line and lose the first command after it (and after an ESC)
    // whole. With recovery on, a command that follows more than this many milliseconds without
    // a write is preceded by a bare AT whose outcome is of no interest; 0 turns this off.
    void setWakeAfterQuiet(int ms) { m_wakeAfterQuietMs = ms; }
    // Time-outs in a row, resynchronisation attempts included; any answer resets it.
    int consecutiveTimeouts() const { return m_consecutiveTimeouts; }
    bool isLost() const { return m_lost; }
    // A command timed out and the modem has not yet answered the AT that follows it.
    bool isResynchronising() const
    {
        return m_resyncNeeded || (m_current && m_current->resync) || m_settle.isActive();
    }

Q_SIGNALS:
    // An unsolicited result code; for +CMT and +CDS the PDU line that followed it.
    void unsolicited(const AtResponse::Line &line, const QByteArray &pdu);
    void timedOut(const QByteArray &command);
    // The channel is in step with the modem again after a time-out. lateLines: answer lines of
    // the command that timed out that came late (a +CMGS reference shows the message went).
    void resynchronised(const QByteArrayList &lateLines);
    // Three time-outs in a row: the modem no longer answers. Everything queued has ended with
    // Status::Closed, and the channel takes no more commands.
    void unresponsive();
    // Every +CMS ERROR the modem says: the final result of a command, or a line that came while
    // none was in flight (some modems report a full message store so, unasked).
    void cmsError(int code);

private:
    struct Pending
    {
        AtCommand command;
        Callback done;
        AtResult result;
        bool promptSeen = false;
        bool resync = false;
        // The bare AT before a command on a line that was quiet: its time-out is no failure.
        bool wake = false;
    };

    void startNext();
    void handleLine(const QByteArray &line);
    // The steps of handleLine, in order; each says whether it took the line.
    bool takesAwaitedPdu(const QByteArray &line);
    bool takesPrompt(const QByteArray &line);
    bool setsAsideLateLine(const QByteArray &line, const AtResponse::Line &kind);
    bool answersCurrent(const QByteArray &line, const AtResponse::Line &kind);
    void handleUnasked(const QByteArray &line, const AtResponse::Line &kind);
    void finishCurrent(AtResult::Status status, const AtResponse::Line *final);
    void onTimeout();
    void startResync();
    bool wakeDue() const;
    void startWake();
    void onWakeTimeout();
    void write(const QByteArray &bytes);
    void endSettle();
    void giveUp();
    bool isEcho(const QByteArray &line) const;
    bool isStrayReference(const QByteArray &line) const;
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

    bool m_recovery = true;
    int m_resyncMs = 3000;
    bool m_resyncNeeded = false;
    QByteArrayList m_lateLinePrefixes;
    QByteArrayList m_lateLines;
    // After the resynchronising OK, a moment in which a second final result (the late answer's
    // or the AT's, whichever came second) is dropped instead of ending the next command.
    QTimer m_settle;
    // A message reference nobody asked for came: the OK that follows it is dropped.
    bool m_strayFinalDue = false;
    int m_consecutiveTimeouts = 0;
    bool m_lost = false;
    quint64 m_commandSerial = 0;

    int m_wakeAfterQuietMs;
    QElapsedTimer m_sinceWrite;
    bool m_escapeWritten = false;
};
