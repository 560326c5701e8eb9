#pragma once

#include "modemapi/modemcontrol.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <utility>

// A scriptable modem control for engine tests: results are set by the test, every call is
// recorded, and the events are raised by the test when it wants them.
class FakeModemControl : public ModemControl
{
public:
    struct Incoming
    {
        QString sca;
        QString sender;
        QString text;
        QString timeStamp;
        QString key = {};
        short result = 0;
    };
    struct Sent
    {
        QString number;
        QString text;
    };

    // Script.
    short openResult = 0;
    // false: BeginOpenComm never reports an end, as a modem that never answers until the
    // driver gives up; the test ends it with answerOpen().
    bool answersOpen = true;
    QString lastError; // GetInfo 10: the reason of the last failed open
    QString model = QStringLiteral("FAKE-GSM");
    QString imsi; // GetInfo 5, 4 and 9 when set
    QString imei;
    QString ownNumber;
    QString registration; // GetInfo 7 when set
    int sendResult = 1;
    QString sendFailure;  // GetInfo 12: why the last message failed
    QString sendRefusal;  // GetInfo 14: the code of a final refusal of the last message
    QString refusedWhole; // GetInfo 18: "1" when no part of the refused message went out
    int lastSendIndex = 1;
    bool ringInfoValid = true;
    QString ringState = QStringLiteral("0");
    bool callerKnown = true;
    QString callerNumber;
    QList<Incoming> inbox;
    QString lastKey;
    QStringList removedKeys;

    // Record.
    QStringList calls;
    QList<Sent> sent;
    bool isOpen = false;
    int port = -1;
    int rate = -1;
    bool inSendMsg = false;
    bool inFlight = false;
    bool opening = false;
    quint64 openSerial = 0;

    int CloseComm() override
    {
        calls << QStringLiteral("CloseComm");
        isOpen = false;
        // As the real control does: a close cancels an open under way.
        ++openSerial;
        opening = false;
        // As the real control does: a close cuts off the message in flight and reports it.
        if (inFlight)
            finishSend(false);
        return 0;
    }
    int SetParam(short id, QString &text, int n) override
    {
        calls << QStringLiteral("SetParam(%1,%2,%3)").arg(id).arg(text).arg(n);
        if (id == ParamPort)
            port = n;
        if (id == ParamBaudRate)
            rate = n;
        return 0;
    }
    short OpenComm() override
    {
        calls << QStringLiteral("OpenComm");
        isOpen = openResult == 0;
        return openResult;
    }
    // The open ends on a later turn of the loop, never inside this call.
    void BeginOpenComm() override
    {
        calls << QStringLiteral("BeginOpenComm");
        opening = true;
        if (!answersOpen)
            return;
        const quint64 serial = openSerial;
        QTimer::singleShot(0, this, [this, serial] {
            if (serial == openSerial)
                answerOpen();
        });
    }
    // Ends the open under way with openResult.
    void answerOpen()
    {
        if (!opening)
            return;
        opening = false;
        calls << QStringLiteral("OpenComm");
        isOpen = openResult == 0;
        Q_EMIT OpenFinished(openResult);
    }
    // The modem printed a boot line: the driver reports it lost (a message it held gets no
    // result) and, once it has initialised it again by itself, open.
    void restart()
    {
        isOpen = false;
        inFlight = false;
        lastError = QStringLiteral("the modem restarted");
        Q_EMIT DeviceLost();
    }
    void reopenedItself()
    {
        isOpen = true;
        Q_EMIT OpenFinished(0);
    }
    bool GetInfo(short id, QString &text) override
    {
        calls << QStringLiteral("GetInfo(%1)").arg(id);
        if (id == InfoModel) {
            text = model;
            return true;
        }
        if (id == InfoRegistration && !registration.isEmpty()) {
            text = registration;
            return true;
        }
        if ((id == InfoImsi && !imsi.isEmpty()) || (id == InfoImei && !imei.isEmpty())
            || (id == InfoOwnNumber && !ownNumber.isEmpty())) {
            text = id == InfoImsi ? imsi : id == InfoImei ? imei : ownNumber;
            return true;
        }
        if (id == 10) {
            text = lastError;
            return true;
        }
        if (id == InfoSendFailure) {
            text = sendFailure;
            return true;
        }
        if (id == InfoSendRefusal) {
            text = sendRefusal;
            return true;
        }
        if (id == InfoSendRefusedWhole && !refusedWhole.isEmpty()) {
            text = refusedWhole;
            return true;
        }
        if (id == InfoRinging) {
            text = ringState;
            return ringInfoValid;
        }
        return false;
    }
    int SendMSG(const QString &number, const QString &text) override
    {
        calls << QStringLiteral("SendMSG");
        if (sendResult >= 1) {
            sent.append({number, text});
            inFlight = true;
        }
        return sendResult;
    }
    int GetIndexOfLastSnd() override
    {
        calls << QStringLiteral("GetIndexOfLastSnd");
        return lastSendIndex;
    }
    short ReadMsgForVB(QString &sca, QString &sender, QString &text, QString &stamp) override
    {
        calls << QStringLiteral("ReadMsgForVB");
        if (inbox.isEmpty())
            return 1;
        const Incoming m = inbox.takeFirst();
        sca = m.sca;
        sender = m.sender;
        text = m.text;
        stamp = m.timeStamp;
        lastKey = m.key;
        return m.result;
    }
    bool PhoneCallGetInCallNumber(QString &number) override
    {
        calls << QStringLiteral("PhoneCallGetInCallNumber");
        if (callerKnown)
            number = callerNumber;
        return callerKnown;
    }
    int PauseSMS(int n) override
    {
        calls << QStringLiteral("PauseSMS(%1)").arg(n);
        return 0;
    }
    int PhoneCallHangup() override
    {
        calls << QStringLiteral("PhoneCallHangup");
        return 0;
    }
    int ResumeSMS() override
    {
        calls << QStringLiteral("ResumeSMS");
        return 0;
    }
    QString AtuoTestGSMModem(short, short) override { return {}; }
    void KeepLastMsg() override { calls << QStringLiteral("KeepLastMsg"); }
    QString LastMsgKey() override { return lastKey; }
    QStringList TakeRemovedMsgKeys() override { return std::exchange(removedKeys, {}); }

    // The modem's verdict on the message it holds, raised as its event.
    void finishSend(bool reachedNetwork)
    {
        inFlight = false;
        lastSendIndex = reachedNetwork ? 1 : 0;
        Q_EMIT OnSndMsg();
    }
    void deliver(const QString &sender, const QString &text, const QString &timeStamp)
    {
        inbox.append({QStringLiteral("+8613800100500"), sender, text, timeStamp});
        Q_EMIT OnRecvMsg();
    }
    void ring(const QString &number)
    {
        ringState = QStringLiteral("1");
        callerNumber = number;
        Q_EMIT PhoneCall();
    }
};
