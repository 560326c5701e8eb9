#pragma once

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QIODevice>
#include <QQueue>
#include <QTimer>

// A serial line with a modem behind it that answers each command on the next turn of the loop,
// as a real one answers after the driver has written: OK unless told otherwise. It can stay
// silent, and can drop the first command after an ESC or a quiet line as some real modems do.
// A command answered "> " opens a text entry that Ctrl-Z ends (the text is one of `commands`).
//
//   ScriptedModemDevice line;
//   line.answerNext("AT+CPIN?", "+CME ERROR: 14");     // once, then the usual answer
//   line.answer("AT+CNMI=2,1,0,0,0", "ERROR");
class ScriptedModemDevice : public QIODevice
{
public:
    ScriptedModemDevice()
    {
        open(QIODevice::ReadWrite);
        m_sinceInput.start();
        answer("AT+CPIN?", "+CPIN: READY\r\n\r\nOK");
        answer("AT+CPMS=\"ME\"", "+CPMS: 0,20,0,20,0,20\r\n\r\nOK");
        answer("AT+CPMS=\"SM\",\"SM\",\"SM\"", "+CPMS: 0,30,0,30,0,30\r\n\r\nOK");
        answer("AT+CSMS?", "+CSMS: 0,1,1,1\r\n\r\nOK");
        answer("AT+CGMI", "Scripted\r\n\r\nOK");
        answer("AT+CGMM", "Line Modem 1\r\n\r\nOK");
        answer("AT+CGMR", "R1.0\r\n\r\nOK");
        answer("AT+CGSN", "860000000000042\r\n\r\nOK");
        answer("AT+CIMI", "460001234567890\r\n\r\nOK");
        answer("AT+CNUM", "+CNUM: \"\",\"+8613900000042\",145\r\n\r\nOK");
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_in.size() + QIODevice::bytesAvailable(); }

    // What the modem says to a command, without the surrounding line ends ("" = nothing).
    void answer(const QByteArray &command, const QByteArray &reply) { m_replies[command] = reply; }
    // Said once to the next such command, before the usual answer comes back.
    void answerNext(const QByteArray &command, const QByteArray &reply)
    {
        m_once[command].enqueue(reply);
    }
    void setSilent(bool silent) { m_silent = silent; }
    void setIgnoresFirstAfterEscape(bool ignores) { m_ignoresAfterEscape = ignores; }
    // Dozes after this long without input: the next command line is lost whole (so is the one
    // after an ESC). Never inside a text entry.
    void setDozesAfterQuiet(int ms)
    {
        m_dozeMs = ms;
        m_ignoresAfterEscape = true;
    }
    // The answer to a command comes this much later (a slow "> " prompt, say).
    void delayAnswer(const QByteArray &command, int ms) { m_delays[command] = ms; }
    // What the modem says when a text entry ends ("" = nothing).
    void answerText(const QByteArray &reply) { m_textReply = reply; }

    // Every command line the driver wrote, in order, also those the modem did not answer.
    QByteArrayList commands;
    int escapes = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_in.size());
        std::copy_n(m_in.constData(), n, data);
        m_in.remove(0, n);
        return n;
    }

    qint64 writeData(const char *data, qint64 size) override
    {
        if (m_dozeMs > 0 && m_sinceInput.elapsed() > m_dozeMs && !m_inText)
            m_dozing = true;
        m_sinceInput.start();
        for (qint64 i = 0; i < size; ++i) {
            const char c = data[i];
            if (m_inText) {
                if (c != '\x1a' && c != '\x1b') {
                    m_line.append(c);
                    continue;
                }
                m_inText = false;
                commands.append(std::exchange(m_line, {}));
                if (c == '\x1a') {
                    say(m_textReply, 0);
                } else {
                    ++escapes;
                    m_afterEscape = true;
                }
                continue;
            }
            if (c == '\x1b') {
                ++escapes;
                m_afterEscape = true;
                m_line.clear();
            } else if (c == '\r') {
                take(std::exchange(m_line, {}));
            } else {
                m_line.append(c);
            }
        }
        return size;
    }

private:
    void take(const QByteArray &command)
    {
        commands.append(command);
        const bool dozed = std::exchange(m_dozing, false) && command.startsWith("AT");
        if (m_silent || (std::exchange(m_afterEscape, false) && m_ignoresAfterEscape) || dozed)
            return;
        QByteArray reply = QByteArray("OK");
        if (auto once = m_once.find(command); once != m_once.end() && !once->isEmpty())
            reply = once->dequeue();
        else if (auto usual = m_replies.constFind(command); usual != m_replies.constEnd())
            reply = *usual;
        say(reply, m_delays.value(command));
    }

    void say(const QByteArray &reply, int delayMs)
    {
        if (reply.isEmpty())
            return;
        const bool prompt = reply == "> ";
        QTimer::singleShot(delayMs, this, [this, reply, prompt] {
            m_in.append(prompt ? "\r\n> " : "\r\n" + reply + "\r\n");
            m_inText = prompt;
            Q_EMIT readyRead();
        });
    }

    QByteArray m_in;
    QByteArray m_line;
    QHash<QByteArray, QByteArray> m_replies;
    QHash<QByteArray, QQueue<QByteArray>> m_once;
    bool m_silent = false;
    bool m_ignoresAfterEscape = false;
    bool m_afterEscape = false;
    QHash<QByteArray, int> m_delays;
    QByteArray m_textReply = "+CMGS: 7\r\n\r\nOK";
    QElapsedTimer m_sinceInput;
    int m_dozeMs = 0;
    bool m_dozing = false;
    bool m_inText = false;
};
