#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <optional>

class AtChannel;

// USSD on an open modem (TS 27.007 +CUSD): a code, or the reply a menu asked for, is sent
// with AT+CUSD=1 behind whatever the channel is doing; the network's answer comes later as an
// unsolicited +CUSD while messages go on being sent. One request at a time; one that has no
// answer within its time is ended, and the network session closed (AT+CUSD=2), so the next
// one can go.
class ModemUssd : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Answered,     // the network's text, state 0 (done), 1 (asks for a reply) or 2
        TimedOut,     // no answer in time, or the network's own time-out (state 5)
        NotSupported, // the modem refuses AT+CUSD, or the network does not know it (state 4)
        Refused,      // the network ended it without text, or the modem gave an error
        Closed,       // the port closed first
    };
    struct Answer
    {
        Outcome outcome = Outcome::Closed;
        int state = -1; // <m> of +CUSD; -1 when none came
        int dcs = -1;
        QString text;
        QString error; // the modem's error line, when it gave one
    };

    explicit ModemUssd(QObject *parent = nullptr);

    void attach(AtChannel *channel);
    // Ends a request on its way with Outcome::Closed.
    void detach();

    // false, and no finished(), when no port is open, a request is on its way, or the code
    // holds what cannot go in AT+CUSD (a quote, a control character, over 160 characters).
    // inSession: the reply to the menu the last answer opened; otherwise an open menu is
    // closed first. finished() follows once, never from inside this call.
    bool request(const QString &code, bool inSession, int timeoutMs);
    bool isPending() const { return m_pending; }
    // The last answer asked for a reply (state 1) and no other request ended it.
    bool sessionOpen() const { return m_session; }

    // A +CUSD line, whenever it comes.
    void onAnswer(const QByteArray &line);

    static bool validCode(const QString &code);
    // The fields of a +CUSD line, the text decoded.
    static Answer parse(const QByteArray &line);

Q_SIGNALS:
    void finished(const ModemUssd::Answer &answer);

private:
    void onCommandDone(quint64 serial, bool ok, bool timedOut, bool closed, int cmeError,
                       const QByteArray &finalLine);
    void finish(Answer answer);
    void closeSession();

    QPointer<AtChannel> m_channel;
    QTimer m_timer;
    quint64 m_serial = 0;
    bool m_pending = false;
    bool m_commandDone = false;
    bool m_requesting = false;
    bool m_endedWhileRequesting = false;
    bool m_session = false;
    // Closes of a session sent and not yet answered.
    int m_cancelling = 0;
    std::optional<Answer> m_early;
};
