#pragma once

#include "modem.h"
#include "modemapi/modemcontrol.h"

#include <QList>
#include <QStringList>
#include <optional>

// The modem control registered as SMSCONTROLLib.Smscontrol: one GSM modem on one serial port.
//
// SetParam ids (pszParam is not used):
//   10  serial port number n (COMn; see SerialPortNames for how n becomes a device)
//   11  baud rate
//   14  character set: 0 = GSM 7-bit when the text allows it, else UCS2 (recommended);
//       1 = always UCS2
//    7  message format: 0 = PDU mode (recommended). PDU mode is used for every value: text mode
//       cannot carry concatenated or UCS2 messages the same way on every modem.
//   17  new-message indication, the <mode> of AT+CNMI with messages stored and announced by
//       +CMTI: 2 = buffered while the link is busy (recommended), 1 = dropped while busy,
//       3 = in-band; 0 = no indications, storage is polled every 5 s
//   20  time-out for one part of an outgoing message, in seconds (default 30)
//   21  how long OpenComm gives a silent port to answer, in milliseconds (default 2000)
//   18  1 = ask the network for delivery reports (StatusReport, ReadStatusReport)
//   23  pszParam: the folder where parts of long messages wait until their set is complete,
//       so they do not fill the SIM (one per device; empty: they wait on the SIM). A set still
//       incomplete 10 minutes after its first part came is handed on as it is, its missing
//       parts left out.
//   24  first pause before a message the caller could not keep (KeepLastMsg) is offered
//       again, in seconds (default 30); it doubles with each further refusal, up to 10 minutes
//
// GetInfo ids: 1 manufacturer (AT+CGMI), 2 model (AT+CGMM), 3 firmware (AT+CGMR), 4 IMEI
// (AT+CGSN), 5 IMSI (AT+CIMI), 6 signal "rssi,ber" (AT+CSQ), 7 registration status digit
// (AT+CREG?, then +CREG reports), 8 operator (AT+COPS?), 9 device path of the port, 10 reason
// of the last failed open or of the loss of the device ("SIM asks for a PIN", "SIM missing",
// "SIM busy after power-on", "no modem answers on ..."), 16 "1" while a voice call rings, else
// "0", 15 the SIM's own number (AT+CNUM at open, empty when the SIM does not know it), 17 the
// report of the last Check(), a line a command. 6 and 7 are the last known values; RefreshHealth()
// asks again, and a lost device has none. 11 is 10 in Chinese, 12 why the last message failed (with
// the meaning of a +CMS code), 13 the text of the last Notice.
//
// OpenComm results: 0 ready, 1 no such port, 2 port busy or cannot be opened (also: an open of
// this control is already in progress), 3 no modem answers or CloseComm ended the open, 4 the
// modem refused the initialisation (for example a SIM that needs a PIN). Other controls'
// events are served while it waits. BeginOpenComm does the same without waiting: it closes
// what is open or opening and OpenFinished follows with the same result, or never when
// CloseComm (or another open) comes first; many controls open side by side on one thread.
//
// Events are emitted synchronously. A received message is deleted from the SIM only after the
// handlers of OnRecvMsg have returned, so it is stored by then; OnSndMsg comes once for each
// accepted SendMSG whose outcome is known. GetIndexOfLastSnd is -2 (SendNeverReachedModem)
// when none of the message had been written to the modem when the port closed or the modem
// restarted, -1 when the modem refused it. A message the modem had when its port was closed,
// went away or stopped answering ends without OnSndMsg: it may have gone, and a failure would
// have it sent twice; one whose every part the modem had accepted counts as sent. A modem
// that restarts (RDY and the like) ends a message it never had with -2, then DeviceLost, is
// opened again at once and then says OpenFinished(0).
//
// Receiving: messages announced in the SIM ("SM") or in the modem's own memory ("ME") are read
// from where they are; both are listed at open and every minute, so a SIM that filled up is
// emptied. Messages delivered directly (+CMT) are acknowledged with AT+CNMA when the modem asks
// for it (+CSMS service 1). 8-bit data comes as its octets in hexadecimal. A PDU that is no
// readable SMS-DELIVER is handed over as ReadUndecodable (text: the PDU in hexadecimal, sender:
// the slot, as "SM 3") and deleted like a message. LastMsgKey is a SHA-1 of the SIM's IMSI, the
// PDUs as read and the storage slots they are in.
//
// USSD: Ussd sends AT+CUSD=1,"code",15 and reads the +CUSD answer in whichever form the modem
// gives it (GetInfo 19-21).
class SmsControl : public ModemControl
{
    Q_OBJECT

public:
    enum ExtraParam : short {
        ParamSendTimeout = 20,
        ParamOpenTimeout = 21,
        ParamKeptRetry = 24,
    };
    enum ExtraInfo : short { InfoDevice = 9, InfoLastError = 10 };

    explicit SmsControl(QObject *parent = nullptr);
    ~SmsControl() override;

    int CloseComm() override;
    int SetParam(short nInfoID, QString &pszParam, int nParam) override;
    short OpenComm() override;
    void BeginOpenComm() override;
    bool GetInfo(short nInfoID, QString &text) override;
    int SendMSG(const QString &number, const QString &text) override;
    int GetIndexOfLastSnd() override;
    short ReadMsgForVB(QString &sca, QString &sender, QString &text, QString &timestamp) override;
    bool PhoneCallGetInCallNumber(QString &number) override;
    int PauseSMS(int n) override;
    int PhoneCallHangup() override;
    int ResumeSMS() override;
    QString AtuoTestGSMModem(short first, short last) override;
    void KeepLastMsg() override;
    QString LastMsgKey() override;
    QStringList TakeRemovedMsgKeys() override;

    void RefreshHealth() override;
    bool Check() override;
    bool ReadStatusReport(int &reference, QString &recipient, int &status,
                          QString &dischargeTime) override;
    int GetReferenceOfLastSnd() override;
    bool Ussd(const QString &code, bool inSession, int timeoutSeconds) override;

    Modem &modem() { return m_modem; }

private:
    // Modem settings from the parameters; false, with the reason set, when the port is missing.
    bool openSettings(Modem::Settings &settings);
    // OpenComm's result for the modem's last open, with its reason kept.
    short openResult(bool opened);
    void onOpenFinished(bool opened);
    void announceMessages();
    void onSendFinished(bool ok, int reference);
    void onDeviceLost(const QString &error);
    bool getReason(short nInfoID, QString &text) const;
    void settleLast();
    QString keyOf(const ReceivedMessage &message) const;
    // USSD, in smscontrolussd.cpp.
    void connectUssd();
    bool getUssdInfo(short nInfoID, QString &text) const;
    ModemUssd::Answer m_ussdAnswer;

    Modem m_modem;
    int m_port = 0;
    int m_baudRate = 115200;
    int m_characterSet = 0;
    int m_indicationMode = 2;
    int m_sendPartSeconds = 30;
    int m_openTimeoutMs = 2000;
    bool m_statusReports = false;
    // A BeginOpenComm waits for its end; the serial tells a result scheduled for an open given
    // up since.
    bool m_openPending = false;
    quint64 m_openSerial = 0;
    int m_lastSend = 0;
    QString m_sendFailure;
    QString m_sendRefusal;
    QString m_checkReport;
    bool m_sendRefusedWhole = false;
    QString m_device;
    QString m_lastError;
    QString m_lastReason;
    QString m_notice;
    int m_keptRetrySeconds = 30;
    QString m_partsFolder;
    bool m_announcing = false;
    // The message last read, and whether it is to stay where it is.
    std::optional<ReceivedMessage> m_last;
    QString m_lastKey;
    quint64 m_lastGeneration = 0;
    bool m_keepLast = false;
    bool m_lastTaken = false;
    QStringList m_removedKeys;
};
