#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// The habits of modems whose line dozes when idle: the first command after a quiet spell or
// an ESC is lost whole (no echo, no answer), and after a program opens the port the first
// thing the modem says comes late, with everything said meanwhile behind it. Both are off
// until set; a modem without them speaks through this unchanged.
class DrowsyLine : public QObject
{
    Q_OBJECT

public:
    explicit DrowsyLine(std::function<void(const QByteArray &)> write, QObject *parent = nullptr);

    // 0: nothing is lost.
    void setQuietSpell(int ms) { m_quietMs = qMax(0, ms); }
    // 0: no answer is late.
    void setFirstAnswerDelay(int ms) { m_firstAnswerDelayMs = qMax(0, ms); }
    int firstAnswerDelay() const { return m_firstAnswerDelayMs; }

    // Input as it arrives, before it is parsed; inCommandMode is false while message text
    // is typed after a "> " prompt, where a pause loses nothing.
    void heard(const QByteArray &bytes, bool inCommandMode);
    // For each whole command line: true when it is the one the modem never heard.
    bool losesCommand();
    // A program opened the port.
    void portOpened();
    // Everything the modem writes passes here.
    void say(const QByteArray &bytes);
    // Power lost: what was held back is gone, and the line counts as quiet since.
    void forget();

private:
    void release();

    std::function<void(const QByteArray &)> m_write;
    int m_quietMs = 0;
    int m_firstAnswerDelayMs = 0;
    QElapsedTimer m_lastInput;
    bool m_losesNext = false;
    bool m_nextAnswerLate = false;
    QTimer m_late;
    QByteArray m_held;
};
