#pragma once

#include "at/atchannel.h"
#include "modemsettings.h"
#include "pdu/pduencoder.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

// Sends one message at a time in PDU mode: its parts one after the other with AT+CMGS, one
// retry of a part refused for a passing reason, a watchdog over the whole message, and the
// late answer of a part that timed out read while the channel gets back in step.
class ModemSender : public QObject
{
    Q_OBJECT

public:
    // How the port went away under a message.
    // What it never had did not go; a message whose every part it accepted went; for the rest
    // whether anything went is not known, and it ends without a result.
    enum class Ending {
        Close,   // closed by the caller
        Gone,    // the port went away under it; what it never had failed
        Loss,    // the modem stopped answering
        Restart, // the modem restarted
    };

    explicit ModemSender(const ModemSettings &settings, QObject *parent = nullptr);

    void attach(AtChannel *channel) { m_channel = channel; }
    // Before the channel is closed. cutOff: the port still held unwritten bytes, so a part
    // whose prompt came never reached the modem whole.
    void detach(Ending how, bool cutOff);
    // After the channel is closed: the message in hand gets the result its ending gives it, or
    // none when its outcome is not known.
    void ended();

    // Takes a message unless one is in hand (or a part's outcome is still being learnt).
    bool send(const QString &number, const QString &text);
    bool isSending() const { return m_sending; }
    void setPaused(bool paused);
    void onResynchronised(const QByteArrayList &lateLines);

    int lastReference() const { return m_lastReference; }
    // The last message failed without the modem ever having had any of it.
    bool lastNeverReachedModem() const { return m_lastNotWritten; }
    // Why the last message failed, in the operator's language.
    QString lastFailure() const { return m_lastFailure; }

Q_SIGNALS:
    // reference: TP-MR of the last part (0..255) on success.
    void sendFinished(bool ok, int reference, const QString &error);

private:
    void sendNextPart();
    void onPartAnswer(const AtResult &r, quint64 generation);
    void onPartResult(const AtResult &r);
    bool retryRefusal(const AtResult &r);
    void onWatchdog();
    void finish(bool ok, const QString &error, const QString &failure = {},
                bool notWritten = false);

    const ModemSettings &m_settings;
    QPointer<AtChannel> m_channel;
    bool m_sending = false;
    bool m_paused = false;
    bool m_partInFlight = false;
    QList<PduEncoder::Encoded> m_parts; // still to send
    int m_lastReference = -1;
    int m_nextConcatReference = 0;
    QTimer m_watchdog;
    quint64 m_generation = 0;
    PduEncoder::Encoded m_partInFlightPdu;
    bool m_partRetried = false;
    // The part's command timed out; its outcome is known once the channel is in step again.
    bool m_partAwaitingResync = false;
    // Some part of the message in hand went to the modem.
    bool m_reachedModem = false;
    // The modem accepted the last part of the message in hand (its +CMGS reference came) but
    // the port closed before the final OK.
    bool m_acceptedWhole = false;
    Ending m_ending = Ending::Close;
    bool m_detached = false;
    bool m_cutOff = false;
    bool m_lastNotWritten = false;
    QString m_lastFailure;
};
