#pragma once

#include "modemcalls.h"
#include "modemcheckup.h"
#include "modemhealth.h"
#include "modeminbox.h"
#include "modemreports.h"
#include "modemsender.h"
#include "modemsession.h"
#include "modemussd.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

class Clock;

// One GSM modem on one serial port: opens and initialises it, sends messages in PDU mode (split
// and concatenated as needed), takes received messages from storage as +CMTI announces them,
// and reports incoming calls. Only open() blocks, and only for a bounded time; everything else
// is driven by serial events and timers. The work is done by its parts; this class routes what
// the modem says to them and ends them together when the port goes.
class Modem : public QObject
{
    Q_OBJECT

public:
    using Settings = ModemSettings;
    using StatusReport = ModemStatusReport;
    using Identity = ModemIdentity;
    using NetworkStatus = ModemNetworkStatus;
    using OpenError = ModemSession::OpenError;

    // clock: where received parts get their time; the system's when none is given.
    explicit Modem(QObject *parent = nullptr, const Clock *clock = nullptr);
    ~Modem() override;

    // Opens the port, checks that a modem answers, and initialises it. Returns when done: at
    // most probeMs on a silent port, at once on a missing or busy port. Other objects' events
    // (other modems) are served meanwhile; close() from one of them ends the open, which then
    // fails. A second open() while one is in progress fails at once.
    bool open(const Settings &settings);
    void close();
    // Open and initialised (false while open() is still at work).
    bool isOpen() const { return m_session.isOpen(); }
    bool isOpening() const { return m_session.isOpening(); }
    QString errorString() const { return m_session.errorString(); }
    // The same in the operator's language.
    QString reason() const { return m_session.reason(); }
    // Why the last open() failed.
    OpenError openError() const { return m_session.openError(); }

    const Identity &identity() const { return m_session.identity(); }
    const NetworkStatus &networkStatus() const { return m_health.status(); }
    // Asks the modem again for signal, registration and operator; networkStatus() follows.
    void refreshNetworkStatus();
    // Asks for signal and registration, behind whatever is going on; healthChanged() follows
    // when a value changed.
    void refreshHealth();
    // 1 home network, 5 roaming.
    bool isRegistered() const { return m_health.isRegistered(); }
    // Asks what the check tool would, behind whatever is going on; done follows once with the
    // report. false, and no done, when the modem is not open.
    bool checkup(ModemCheckup::Done done);

    bool hasStatusReport() const { return m_reports.hasReport(); }
    StatusReport takeStatusReport() { return m_reports.takeReport(); }
    // TP-MR of the last part of the last message sent; -1 when none.
    int lastReference() const { return m_sender.lastReference(); }

    // Takes a message unless the port is closed or a message is in flight. sendFinished()
    // follows exactly once, also when the port closes; a modem that stops answering raises
    // deviceLost() instead, since whether the message went is then not known. A modem that
    // restarted ends a message it never had with a failure (lastNeverReachedModem()).
    bool send(const QString &number, const QString &text);
    bool isSending() const { return m_sender.isSending(); }
    // The last message failed without any of it having reached the modem: it may be handed
    // on again as it is.
    bool lastNeverReachedModem() const { return m_sender.lastNeverReachedModem(); }
    // Why the last message failed, in the operator's language.
    QString lastSendFailure() const { return m_sender.lastFailure(); }
    // Holds further parts (and further messages) back while a call is being dealt with.
    void setSendingPaused(bool paused) { m_sender.setPaused(paused); }

    // Storage slots of the modem's own memory carry this on top of their index.
    static constexpr int MemoryMe = ModemInbox::MemoryMe;

    // Changes with every close: what was read before refers to storage as it was then.
    quint64 openGeneration() const { return m_inbox.generation(); }
    bool hasMessage() const { return m_inbox.hasMessage(); }
    ReceivedMessage takeMessage() { return m_inbox.takeMessage(); }
    // Deletes the storage slots of a message that has been taken and stored elsewhere.
    void deleteStored(const QList<int> &indexes) { m_inbox.deleteStored(indexes); }
    // A taken message is safe elsewhere: its slots are deleted, its parts on disk removed and
    // a direct delivery acknowledged. done() follows once the modem confirmed every deletion.
    void release(const ReceivedMessage &message, std::function<void()> done = {})
    {
        m_inbox.release(message, std::move(done));
    }
    // A taken message could not be kept: it stays where it is and is offered again after a
    // pause that grows while nothing can be kept.
    void keep(const ReceivedMessage &message) { m_inbox.keep(message); }

    bool isRinging() const { return m_calls.isRinging(); }
    QString callerNumber() const { return m_calls.callerNumber(); }
    void hangUp() { m_calls.hangUp(); }

    // USSD codes and their answers, behind whatever the modem is doing.
    ModemUssd &ussd() { return m_ussd; }

    // Access for tests and tools: the channel of the open port.
    AtChannel *channel() const { return m_session.channel(); }

Q_SIGNALS:
    // reference: TP-MR of the last part (0..255) on success.
    void sendFinished(bool ok, int reference, const QString &error);
    void messageAvailable();
    void ringing();
    // The port went away under the driver (modem unplugged).
    void portLost(const QString &error);
    // The port went away, the modem stopped answering or it restarted; the modem is closed by
    // then. After a restart it is opened again at once.
    void deviceLost(const QString &error);
    void healthChanged();
    void registrationChanged(bool registered);
    void statusReportAvailable();
    // Something the operator should hear of, in the operator's language.
    void notice(const QString &text);

private:
    void attachParts();
    void endParts(ModemSender::Ending how);
    void onUnsolicited(const AtResponse::Line &line, const QByteArray &pdu);
    void onVendorLine(const QByteArray &text);
    void onPortLost(const QString &error);
    void loseDevice(ModemSender::Ending how, const QString &error, const QString &reason);
    void onRestarted(const QByteArray &bootLine);
    void reopenAfterRestart(quint64 generation);

    const Clock &m_clock;
    ModemSession m_session;
    ModemSender m_sender;
    ModemInbox m_inbox;
    ModemReports m_reports;
    ModemCalls m_calls;
    ModemHealth m_health;
    ModemUssd m_ussd;
    QDateTime m_restartSeen;
    Settings m_requested; // as given to open(), for opening again after a restart
};
