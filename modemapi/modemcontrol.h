#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

inline constexpr const char *ModemControlProgId = "SMSCONTROLLib.Smscontrol";

// The modem control: one instance drives one modem on one serial port. The gateway holds 128 of
// them and relies on exactly these operations, argument orders and result conventions. Events
// are delivered synchronously: a handler runs to its end before the control goes on.
class Q_DECL_EXPORT ModemControl : public QObject
{
    Q_OBJECT

public:
    // Ids for SetParam.
    enum Param : short {
        ParamMessageFormat = 7, // 0 = PDU mode; the control uses PDU mode for every value
        ParamPort = 10,         // serial port number (COMn)
        ParamBaudRate = 11,
        ParamCharacterSet = 14,   // 0 = choose GSM 7-bit or UCS2 per message, 1 = always UCS2
        ParamNewMessageMode = 17, // 2 = messages stored on the SIM and announced by +CMTI
    };
    // Ids for GetInfo.
    enum Info : short {
        InfoManufacturer = 1, // AT+CGMI
        InfoModel = 2,        // AT+CGMM
        InfoRevision = 3,     // AT+CGMR
        InfoImei = 4,         // AT+CGSN
        InfoImsi = 5,         // AT+CIMI
        InfoSignal = 6,       // AT+CSQ as "rssi,ber"
        InfoRegistration = 7, // AT+CREG? status digit
        InfoOperator = 8,     // AT+COPS? operator name
        InfoLastError = 10,   // why the last open failed or the modem was lost
        InfoOwnNumber = 15,   // AT+CNUM: the SIM's own number, empty when it does not know it
        InfoRinging = 16,     // "1" while a voice call rings, else "0"
    };

    using QObject::QObject;
    ~ModemControl() override;

    virtual int CloseComm() = 0;
    virtual int SetParam(short nInfoID, QString &pszParam, int nParam) = 0;
    // 0 = port open and modem ready; anything else = failure. Blocks for a bounded time.
    virtual short OpenComm() = 0;
    // Starts opening the port and returns at once: OpenFinished follows with what OpenComm would
    // have returned, never from inside this call, while the caller's loop goes on serving every
    // other device. A CloseComm before it comes cancels the open, and so does a further
    // BeginOpenComm, which closes what is open or opening first: only the last one reports. A
    // caller ignores an OpenFinished for an open it no longer waits for. The default runs
    // OpenComm on the next turn of the loop, for controls that can only open synchronously.
    virtual void BeginOpenComm();
    virtual bool GetInfo(short nInfoID, QString &text) = 0;
    // GetInfo's text without surrounding blanks; empty when the control does not know it.
    QString infoText(short id);
    // 1 or more = the message was taken; below 1 = no message can be taken now.
    virtual int SendMSG(const QString &number, const QString &text) = 0;
    // 1 or more = the last message reached the network; below 1 = it failed.
    virtual int GetIndexOfLastSnd() = 0;
    // 0 = one complete message was read into the four texts.
    virtual short ReadMsgForVB(QString &sca, QString &sender, QString &text,
                               QString &timestamp) = 0;
    virtual bool PhoneCallGetInCallNumber(QString &number) = 0;
    virtual int PauseSMS(int n) = 0;
    virtual int PhoneCallHangup() = 0;
    virtual int ResumeSMS() = 0;
    // "port,rate;" for every port in [first, last) where a modem answers.
    virtual QString AtuoTestGSMModem(short first, short last) = 0;

    // --- Device health, loss and delivery reports ---
    // SetParam id: 1 = ask the network for a delivery report of every message sent.
    enum ReportParam : short { ParamStatusReport = 18 };
    // GetInfo 6 (signal) and 7 (registration) give the last known values and never block;
    // 7 follows the modem's +CREG reports: 1 home, 5 roaming, 0/2/3 not registered (searching,
    // denied), 4 unknown. 8 (operator) is read once at open and again when the modem registers.
    //
    // Queues AT+CSQ and AT+CREG? when the device is idle; HealthChanged follows when an answer
    // changes a value. Safe to call at every supervision tick.
    virtual void RefreshHealth();
    // One delivery report, after StatusReport: TP-MR of the part it is about, the recipient,
    // TP-ST (0..31 delivered, 32..63 still trying, 64 and up failed) and the discharge time
    // as "yyMMddhhmmss" and the zone in quarter hours ("240315102030+32"). false when none waits.
    virtual bool ReadStatusReport(int &reference, QString &recipient, int &status,
                                  QString &dischargeTime);
    // TP-MR (0..255) the network gave the last part of the last message sent; -1 when none.
    virtual int GetReferenceOfLastSnd();
    // Receiving each message exactly once. A message read by ReadMsgForVB is removed from the
    // modem's storage when the handler of OnRecvMsg returns, unless the handler calls
    // KeepLastMsg().
    enum ReceiveParam : short {
        // pszParam: a folder of this device's own where parts of long messages wait, on disk
        // instead of in the modem's storage, until their set is complete.
        ParamPartsFolder = 23,
    };
    enum ReadResult : short {
        ReadMessage = 0, // one complete message in the four texts
        ReadNothing = 1,
        // Storage held something that is no readable message: text has it as hexadecimal
        // octets, sender names the storage slot, the other texts are empty. Removed like a
        // message; a handler that cannot set it aside calls KeepLastMsg().
        ReadUndecodable = 2,
    };
    // The message last read was not kept anywhere (no room in the database nor on disk): it
    // stays in the modem's storage and is offered again later, with a growing pause.
    virtual void KeepLastMsg() = 0;
    // An identity of the message last read, the same whenever the same stored content is read
    // again, also after a restart; empty when there is none.
    virtual QString LastMsgKey() = 0;
    // Identities of messages whose removal from storage the modem has confirmed since the
    // last call.
    virtual QStringList TakeRemovedMsgKeys() = 0;

    // --- Outcomes the gateway can act on, and reasons in the operator's language ---
    // GetIndexOfLastSnd: the last message failed before any of it reached the modem (the port
    // closed, or the modem restarted, before its text was written); it can be sent again as
    // it is.
    static constexpr int SendNeverReachedModem = -2;
    enum ReasonInfo : short {
        InfoFailureReason = 11, // InfoLastError in the operator's language
        InfoSendFailure = 12, // why the last message failed, e.g. "+CMS ERROR: 42（网络拥塞）"
        InfoNotice = 13,      // the text of the last Notice
        // The +CMS ERROR code that ended the last message when the modem refused it for good
        // (not a transient code, or one the driver retried already), e.g. "21"; empty when it
        // succeeded or its outcome is not certain (a time-out, a lost port).
        InfoSendRefusal = 14,
        // "1" when the refusal of InfoSendRefusal came before the network accepted any part of
        // the message, so none of it is on the air; "0" otherwise. A control that cannot tell
        // gives nothing, and a long message is then never sent again elsewhere.
        InfoSendRefusedWhole = 18,
    };

    // --- A check on request ---
    // Asks the open modem, behind what it is doing, what the check tool would: AT, +CPIN?,
    // +CSQ, +CREG?, +COPS?, the model. CheckFinished follows once, with GetInfo 17 holding the
    // report, a line each ("AT+CSQ：+CSQ: 23,99"). false, and no event, when the modem is not
    // open or the control cannot check.
    virtual bool Check();
    enum CheckInfo : short { InfoCheckReport = 17 };

    // --- USSD ---
    // Sends a USSD code ("*100#") or, with inSession, the reply the last answer's menu asked
    // for, behind whatever the modem is doing. UssdFinished follows once, never from inside this
    // call: GetInfo 19 the network's text, 20 the session state (+CUSD <m>: 0 done, 1 a reply is
    // awaited, 2 ended by the network, 4 not supported, 5 network time-out; empty when no answer
    // came), 21 what went wrong: empty, "timeout" (no answer within timeoutSeconds), "unsupported",
    // "refused" or "closed". false, and no event, when the modem is not open, a USSD is on its
    // way, or the code cannot be sent. The default cannot send USSD.
    virtual bool Ussd(const QString &code, bool inSession, int timeoutSeconds);
    enum UssdInfo : short { InfoUssdText = 19, InfoUssdState = 20, InfoUssdError = 21 };

Q_SIGNALS:
    void OnRecvMsg();
    void OnSndMsg();
    void PhoneCall();
    void SendStatus();

    // --- Device health, loss and delivery reports ---
    // The modem stopped answering (three time-outs in a row) or its port went away. The control
    // is closed by then; a message that was being sent gets no OnSndMsg when the modem had any
    // of it (it may have gone, and a failure would have it sent twice), a failed one when the
    // port went away before any of it reached the modem. The same holds for a message under a
    // CloseComm or under the close that begins an open: it gets OnSndMsg only when its outcome
    // is known (SendNeverReachedModem, or a success when the modem had accepted every part).
    void DeviceLost();
    void HealthChanged();
    // GetInfo 7 changed between registered and not registered.
    void RegistrationChanged();
    void StatusReport();
    // Something the operator should hear of (a full message store, a modem initialised again
    // after it restarted); GetInfo 13 has the text.
    void Notice();
    // The modem confirmed the removal of stored messages: TakeRemovedMsgKeys names them.
    void MessagesRemoved();
    void CheckFinished();
    // The end of BeginOpenComm, with OpenComm's result; also 0 when the control opened the modem
    // again by itself (after the modem restarted and announced it), so the caller takes it back.
    void OpenFinished(short result);
    // --- USSD ---
    void UssdFinished();
};
