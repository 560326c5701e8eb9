#pragma once

#include "at/atchannel.h"
#include "concatreassembler.h"
#include "partstore.h"
#include "pdu/pduencoder.h"
#include "receivedmessage.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>

class QSerialPort;

// One GSM modem on one serial port: opens and initialises it, sends messages in PDU mode (split
// and concatenated as needed), takes received messages from storage as +CMTI announces them,
// and reports incoming calls. Only open() blocks, and only for a bounded time; everything else
// is driven by serial events and timers.
class Modem : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString portName; // device path, e.g. from SerialPortNames::resolve()
        int baudRate = 115200;
        bool alwaysUcs2 = false;
        // <mode> of AT+CNMI (1..3) with <mt> 1: messages stored and announced by +CMTI. 0 asks
        // for no indications; storage is then polled.
        int indicationMode = 2;
        int probeMs = 2000;     // how long a silent port is given to answer AT
        int commandMs = 3000;   // per initialisation command
        int sendPartMs = 30000; // per +CMGS, from the command to its final result
        int pollMs = 5000;      // storage poll without indications
        bool statusReports = false; // TP-SRR in every SUBMIT, reports routed as +CDS/+CDSI
        int refusalRetryMs = 1000;  // wait before the one retry of a transiently refused part
        int simBusyMs = 20000;      // how long a SIM still busy after power-on is waited for
        // Incomplete concatenated messages are handed on as they are after this long.
        qint64 partsMaxAgeMs = 10LL * 60 * 1000;
        // Where parts of long messages wait off the SIM; empty: they wait in storage.
        QString partsFolder;
        // First pause before a message the caller could not keep is offered again; doubles
        // with every further refusal up to keptRetryMaxMs.
        int keptRetryMs = 30000;
        int keptRetryMaxMs = 10 * 60 * 1000;
    };

    struct StatusReport
    {
        int reference = -1; // TP-MR
        QString recipient;  // TP-RA
        int status = -1;    // TP-ST
        QString dischargeTime;
    };

    struct Identity
    {
        QString manufacturer;
        QString model;
        QString revision;
        QString imei;
        QString imsi;
    };

    struct NetworkStatus
    {
        QString signal;       // "rssi,ber" of AT+CSQ
        QString registration; // <stat> of AT+CREG?
        QString operatorName; // <oper> of AT+COPS?
    };

    enum class OpenError { None, NoSuchPort, Busy, NoAnswer, Refused };

    explicit Modem(QObject *parent = nullptr);
    ~Modem() override;

    // Opens the port, checks that a modem answers, and initialises it. Returns when done: at
    // most probeMs on a silent port, at once on a missing or busy port. Other objects' events
    // (other modems) are served meanwhile; close() from one of them ends the open, which then
    // fails. A second open() while one is in progress fails at once.
    bool open(const Settings &settings);
    void close();
    // Open and initialised (false while open() is still at work).
    bool isOpen() const;
    bool isOpening() const { return m_opening; }
    QString errorString() const { return m_error; }
    // Why the last open() failed.
    OpenError openError() const { return m_openError; }

    const Identity &identity() const { return m_identity; }
    const NetworkStatus &networkStatus() const { return m_network; }
    // Asks the modem again for signal, registration and operator; networkStatus() follows.
    void refreshNetworkStatus();
    // Asks for signal and registration only when nothing else is going on; healthChanged()
    // follows when a value changed.
    void refreshHealth();
    // 1 home network, 5 roaming.
    bool isRegistered() const;

    bool hasStatusReport() const { return !m_reports.isEmpty(); }
    StatusReport takeStatusReport();
    // TP-MR of the last part of the last message sent; -1 when none.
    int lastReference() const { return m_lastReference; }

    // Takes a message unless the port is closed or a message is in flight. sendFinished()
    // follows exactly once, also when the port closes; a modem that stops answering raises
    // deviceLost() instead, since whether the message went is then not known.
    bool send(const QString &number, const QString &text);
    bool isSending() const { return m_sending; }
    // Holds further parts (and further messages) back while a call is being dealt with.
    void setSendingPaused(bool paused);

    // Storage slots of the modem's own memory carry this on top of their index.
    static constexpr int MemoryMe = 0x10000;

    // Changes with every close: what was read before refers to storage as it was then.
    quint64 openGeneration() const { return m_openGeneration; }
    bool hasMessage() const { return !m_inbox.isEmpty(); }
    ReceivedMessage takeMessage();
    // Deletes the storage slots of a message that has been taken and stored elsewhere.
    void deleteStored(const QList<int> &indexes);
    // A taken message is safe elsewhere: its slots are deleted, its parts on disk removed and
    // a direct delivery acknowledged. done() follows once the modem confirmed every deletion.
    void release(const ReceivedMessage &message, std::function<void()> done = {});
    // A taken message could not be kept: it stays where it is and is offered again after a
    // pause that grows while nothing can be kept.
    void keep(const ReceivedMessage &message);

    bool isRinging() const { return m_ringing; }
    QString callerNumber() const { return m_callerNumber; }
    void hangUp();

    // Access for tests and tools: the channel of the open port.
    AtChannel *channel() const { return m_channel; }

Q_SIGNALS:
    // reference: TP-MR of the last part (0..255) on success.
    void sendFinished(bool ok, int reference, const QString &error);
    void messageAvailable();
    void ringing();
    // The port went away under the driver (modem unplugged).
    void portLost(const QString &error);
    // The port went away or the modem stopped answering; the modem is closed by then.
    void deviceLost(const QString &error);
    void healthChanged();
    void registrationChanged(bool registered);
    void statusReportAvailable();

private:
    bool fail(OpenError kind, const QString &error);
    bool openPort(const Settings &settings);
    bool probe();
    void onPortError();
    void onUnresponsive();
    // Closes and raises deviceLost; a message being sent gets no result (its fate is unknown).
    void loseDevice(const QString &error);
    void onResynchronised(const QByteArrayList &lateLines);
    void leaveTextEntry();
    void waitFor(int ms);
    AtResult runBlocking(const AtCommand &command, QDeadlineTimer deadline);
    bool initialise();
    bool waitForSim();
    void readIdentity(QDeadlineTimer deadline);
    void onUnsolicited(const AtResponse::Line &line, const QByteArray &pdu);
    void readStored(const QByteArray &memory, int index);
    void listStored();
    // The modem says its message store is full: what it holds is read (and so emptied).
    void onStorageFull(const QByteArray &sign);
    void takePdu(const QByteArray &pduHex, int storageIndex, qint64 partId = 0,
                 qint64 partAgeMs = 0);
    void takePart(ConcatReassembler::Part part, const QByteArray &pduHex, int storageIndex,
                  qint64 partAgeMs);
    void takeUndecodable(const QByteArray &pduHex, int storageIndex, const QString &why);
    void loadParts();
    void listMemory(const QByteArray &memory);
    void selectMemory(const QByteArray &memory);
    QByteArray memoryOf(int slot) const;
    void acknowledgeDirect();
    void sendNextPart();
    void onPartResult(const AtResult &r);
    void onSendWatchdog();
    void finishSend(bool ok, const QString &error);
    void setRegistration(const QByteArray &stat);
    void setSignal(const QString &signal);
    void queueHealthQueries();
    void readStatusReport(const QByteArray &memory, int index);
    // header: the +CDS line (its length tells whether a service-centre address leads the PDU).
    void storeStatusReport(const QByteArray &header, const QByteArray &pduHex, int storageIndex);
    void announceRing();
    void checkStaleParts();

    Settings m_settings;
    QSerialPort *m_port = nullptr;
    AtChannel *m_channel = nullptr;
    QString m_error;
    OpenError m_openError = OpenError::None;
    Identity m_identity;
    NetworkStatus m_network;
    QByteArray m_readMemory;    // selected for reading, as of the last command queued
    QByteArray m_storageMemory; // where the modem stores new messages
    bool m_meUsable = false;    // the modem's own memory can be listed
    bool m_ackDirect = false;   // +CMT needs +CNMA (+CSMS service 1)

    // Sending.
    bool m_sending = false;
    bool m_paused = false;
    bool m_partInFlight = false;
    QList<PduEncoder::Encoded> m_parts; // still to send
    int m_lastReference = -1;
    int m_nextConcatReference = 0;
    QTimer m_sendWatchdog;
    quint64 m_sendGeneration = 0;
    PduEncoder::Encoded m_partInFlightPdu;
    bool m_partRetried = false;
    // The part's command timed out; its outcome is known once the channel is in step again.
    bool m_partAwaitingResync = false;

    QList<StatusReport> m_reports;

    // Receiving.
    QList<ReceivedMessage> m_inbox;
    ConcatReassembler m_reassembler;
    QSet<int> m_knownIndexes;
    QSet<int> m_deleting;               // slots with an AT+CMGD on its way
    QSet<int> m_announcedWhileDeleting; // ... and announced again meanwhile
    int m_listingsQueued = 0;           // AT+CMGL on their way
    QTimer m_pollTimer;
    QTimer m_staleTimer;
    PartStore m_partStore;
    int m_keptRetryMs = 0;
    quint64 m_openGeneration = 0;

    bool m_opening = false;

    // Calls.
    bool m_ringing = false;
    bool m_ringAnnouncePending = false;
    QString m_callerNumber;
    QTimer m_clipWait;
    QTimer m_ringExpiry;
};
