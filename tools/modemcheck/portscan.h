#pragma once

#include <QList>
#include <QObject>
#include <QTextStream>

// Which serial ports have a modem behind them: every COMn the gateway would know (the ports its
// configuration lists, the links in the ports folder and the system's serial devices, never the
// console) is asked "AT" at each rate, one line per port, the way the gateway's device search
// asks. A configured port or a link whose device is not there (an unplugged stick) is listed as
// unplugged rather than left out.
class PortScan : public QObject
{
    Q_OBJECT

public:
    explicit PortScan(QTextStream &out, QObject *parent = nullptr);

    // Prints a line per port and the ports that answer; returns 0 when at least one answers,
    // 1 when none does, ModemCheck::InterruptedExit after interrupt().
    int run(const QList<int> &rates, const QList<int> &configured = {});
    // Ctrl-C: no further port is tried. A port is held only while it is asked.
    void interrupt() { m_interrupted = true; }

private:
    QString examine(const QString &device, const QList<int> &rates, bool *answers);
    static QString unplugged(int n);
    void line(const QString &label, const QString &value);

    QTextStream &m_out;
    bool m_interrupted = false;
};
