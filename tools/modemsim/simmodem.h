#pragma once

#include "commandtable.h"
#include "drowsyline.h"
#include "pdu/pduencoder.h"
#include "simcall.h"
#include "simsettings.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QQueue>
#include <QString>

class PortOpenWatcher;
class PseudoTerminal;
class SimNetwork;

// One simulated GSM modem on a pseudo-terminal, with the AT dialect of the common USB sticks:
// echo on after reset, numeric or verbose errors, PDU and text mode, SIM storage announced with
// +CMTI, +CMS ERRORs for refused messages, RING and +CLIP for calls.
class SimModem : public QObject
{
    Q_OBJECT

public:
    struct Stored
    {
        int status = 0; // 0 unread, 1 read
        PduEncoder::Encoded pdu;
    };

    SimModem(int port, const QString &number, SimNetwork *network, QObject *parent = nullptr);
    ~SimModem() override;

    bool create(const QString &linkPath, QString *error);
    int port() const { return m_port; }
    QString number() const { return m_number; }
    QString serviceCentre() const { return QStringLiteral("+8613800000000"); }
    void setModel(const QString &model) { m_model = model; }
    void setCapacity(int capacity) { m_capacity = capacity; }
    // On: the SIM has room for one message more than it holds; the message that fills it is
    // stored unannounced and the modem says only an unsolicited +CMS ERROR: 322. Off: the room
    // of setCapacity() again.
    void setReportFullStore(bool on);

    // A message from the network: stored (and announced) or, when storage is full, held until
    // a slot is free, as a network retries. memory "ME": the modem's own memory, as some
    // modems store there whatever AT+CPMS says.
    void receive(const PduEncoder::Encoded &deliver, const QByteArray &memory = "SM");
    // Delivers every message with +CMT whatever AT+CNMI says, and asks for +CNMA (+CSMS
    // service 1), as modems that ignore the storage setting do.
    void setDirect(bool direct) { m_direct = direct; }
    int acknowledgements() const { return m_acks; }
    const QMap<int, Stored> &ownMemory() const { return m_meStorage; }
    void ring(const QString &caller);
    void failNextSend(int cmsError, int times = 1)
    {
        m_failNext = cmsError;
        m_failTimes = qMax(1, times);
    }
    void setSilent(bool silent) { m_silent = silent; }
    void setSendDelay(int ms) { m_sendDelayMs = qMax(0, ms); }
    // The first command after quietMs without input, or after an ESC, is lost (0: never).
    void setQuietSpell(int quietMs) { m_line.setQuietSpell(quietMs); }
    // After a program opens the port the modem's first answer comes ms late; the watcher
    // tells it of the opens and must outlive it.
    void setFirstAnswerDelay(int ms, PortOpenWatcher *watcher);
    void vanish();
    // The modem comes back under the same link after vanish().
    bool plug(QString *error);
    // Power-on again: settings as after reset, echo on, "RDY" said unasked.
    void reset();
    // Power lost and back: what it was typing or about to answer is gone, it hears nothing for
    // bootMs, then it says what a starting modem says (RDY, +CFUN: 1, +CPIN: READY, Call Ready,
    // SMS Ready).
    void restart(int bootMs);
    // The next n AT+CPIN? are answered +CME ERROR: 14 (SIM busy), as right after power-on.
    void setSimBusy(int n) { m_simBusyAnswers = n; }
    enum class SimState { Ready, PinRequired, Missing };
    void setSimState(SimState state) { m_simState = state; }
    // Registration lost (stat 2, searching) or back (1); reported with +CREG when enabled.
    void setRegistered(bool registered);
    // Delivery reports of submitted messages that ask for one come this long after the +CMGS.
    void setReportDelay(int ms) { m_reportDelayMs = qMax(0, ms); }
    // Refuses AT+CNMI <ds> 1 and stores delivery reports, announced by +CDSI (<ds> 2).
    void setReportsStoredOnly(bool on) { m_reportsStoredOnly = on; }
    void unsolicited(const QByteArray &line);

    bool isRinging() const { return m_call.isRinging(); }
    int hangUps() const { return m_call.hangUps(); }
    bool isSilent() const { return m_silent; }
    bool isGone() const;
    bool echoes() const { return m_settings.echo; }
    const QMap<int, Stored> &storage() const { return m_storage; }
    int heldBack() const { return int(m_heldBack.size()); }

private:
    // The command handlers by area work on the modem's state as its firmware would.
    friend class IdentityCommands;
    friend class StatusCommands;
    friend class SmsCommands;
    friend class StorageCommands;

    enum class Input { Command, Pdu, Text };

    void onBytes(const QByteArray &bytes);
    void process();
    // One whole command line, or text up to Ctrl-Z or ESC; false when it has not all come yet.
    bool processCommandLine();
    bool processText();
    void execute(const QByteArray &line);
    // Handles one basic command (E, Z, H, ...) at the start of rest, which it consumes; returns
    // the final answer so far.
    QByteArray basic(QByteArray *rest, QByteArrayList *lines);
    // Handles one extended command ("+CMGF=0"); appends its answer lines, returns the final.
    QByteArray extended(const QByteArray &command, QByteArrayList *lines);
    // The "> " prompt of AT+CMGS: what comes next is the message, up to Ctrl-Z or ESC.
    void promptForText(Input kind);
    void finishText(bool submit);
    void submitPdu(const QByteArray &hex);
    void submitText(const QString &text);
    // Hands an accepted submission to the network and answers +CMGS with its reference, which
    // it returns for a delivery report.
    int submitted(const SmsPdu &pdu);
    int takeFailure();
    void reportLater(const QString &recipient, int reference);
    void reply(const QByteArrayList &lines, const QByteArray &final);
    void replyAfterSend(const QByteArray &text);
    void writeUrc(const QByteArray &line);
    // Everything the modem writes to its port.
    void say(const QByteArray &bytes) { m_line.say(bytes); }
    void watchOpens();
    void store(const PduEncoder::Encoded &deliver, const QByteArray &memory = "SM");
    void storeHeldBack();
    QMap<int, Stored> &readStorage() { return m_readMe ? m_meStorage : m_storage; }
    int room() const { return m_fullAt > 0 ? m_fullAt : m_capacity; }
    void resetSettings() { m_settings = SimSettings(); }
    // What a power cut takes: input, a message half typed, answers not given yet, settings.
    void forget();

    int m_port;
    QString m_number;
    SimNetwork *m_network;
    PseudoTerminal *m_tty = nullptr;
    DrowsyLine m_line;
    PortOpenWatcher *m_openWatcher = nullptr;
    int m_openWatch = -1;
    QString m_model = QStringLiteral("Velmora GSM Simulator");

    QByteArray m_input;
    Input m_inputState = Input::Command;
    int m_expectedLength = 0;
    QString m_textDestination;
    QByteArray m_text;
    bool m_busy = false;
    bool m_booting = false;
    // Counts restarts: an answer planned before one is never given.
    quint64 m_life = 0;

    SimSettings m_settings;
    CommandTable m_commands;
    int m_nextReference = 0;

    int m_capacity = 255;
    int m_fullAt = 0; // room while a full store is reported with +CMS ERROR: 322; 0: off
    QMap<int, Stored> m_storage;
    QMap<int, Stored> m_meStorage;
    bool m_readMe = false; // AT+CPMS selected "ME" for reading and deleting
    bool m_direct = false;
    int m_acks = 0;
    QQueue<PduEncoder::Encoded> m_heldBack;

    int m_failNext = -1;
    int m_failTimes = 0;
    int m_simBusyAnswers = 0;
    SimState m_simState = SimState::Ready;
    int m_registration = 1;
    int m_reportDelayMs = 0;
    bool m_reportsStoredOnly = false;
    QString m_linkPath;
    bool m_silent = false;
    int m_sendDelayMs = 0;

    SimCall m_call;
};
