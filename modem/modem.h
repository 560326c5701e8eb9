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
// and reports incoming calls. Everything is driven by serial events and timers; only open(),
// for tools that have nothing else to do meanwhile, waits for its own end. The work is done by its
// parts; this class routes what the modem says to them and ends them together when the port goes.
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

    // Closes what is open or opening, then opens the port, checks that a modem answers, and
    // initialises it; returns at once. openFinished() follows, never from inside this call:
    // after at most about probeMs on a silent port, on the next turn of the loop for a missing
    // or busy one. close() before it comes ends the open without it.
    void beginOpen(const Settings &settings);
    // beginOpen() and a local loop until its end, for tools and tests: other objects' events
    // are served meanwhile, and close() from one of them ends the open, which then fails. A
    // second open() while the caller's own open is in progress fails at once.
    bool open(const Settings &settings);
    void close();
    // Open and initialised (false while an open is still at work).
    bool isOpen() const { return m_session.isOpen(); }
    bool isOpening() const { return m_session.isOpening(); }
    // The open at work is the modem's own, after it restarted; a caller's open replaces it.
    bool isReopening() const { return m_reopening && isOpening(); }
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
    // follows once for each message whose outcome is known: the modem's answer, or a close,
    // loss or restart before any of it reached the modem (lastNeverReachedModem()). A message
    // the modem had when its port closed, went away, or stopped answering gets none, since
    // whether it went is not known then; one whose every part the modem had accepted when the
    // port closed counts as sent.
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
    // The end of beginOpen(); errorString(), reason() and openError() say why it failed.
    void openFinished(bool ok);
    // The modem restarted and was opened again by itself, ready as before.
    void reopened();
    // reference: TP-MR of the last part (0..255) on success.
    void sendFinished(bool ok, int reference, const QString &error);
    void messageAvailable();
    void ringing();
    // The port went away under the driver (modem unplugged).
    void portLost(const QString &error);
    // The port went away, the modem stopped answering or it restarted; the modem is closed by
    // then. After a restart it is opened again at once, and reopened() follows when it is.
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
    void onOpened(bool ok);

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
    bool m_reopening = false;
};
