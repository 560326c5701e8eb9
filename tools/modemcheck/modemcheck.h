#pragma once

#include "modem.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTextStream>

// What an operator setting up a modem needs to know, learnt through the gateway's own driver:
// opens the port the way the gateway does, prints what the modem says about itself and the
// first problem in plain words, and can send one message or follow what the modem reports.
class ModemCheck : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString port;     // "COMn" or a device path
        QList<int> rates; // tried in this order until one answers
        QString sendTo;   // empty: nothing is sent
        QString text;
        bool watch = false;
    };

    // The exit code after Ctrl-C, as a shell reports a program ended by SIGINT.
    static constexpr int InterruptedExit = 130;

    explicit ModemCheck(QTextStream &out, QObject *parent = nullptr);

    // Prints the report (and the send result); returns the exit code: 0 when no problem was
    // found (and the message went), 1 otherwise. With watch, returns only when the modem is
    // lost or on interrupt().
    int run(const Options &options);
    // Ctrl-C: the port is closed at once, which also removes its lock file, and run() returns
    // InterruptedExit.
    void interrupt();

Q_SIGNALS:
    void interrupted();

private:
    bool open(const Options &options, const QString &device);
    void printIdentity();
    QString problemOfNetwork() const;
    bool send(const QString &number, const QString &text);
    int watch();
    void waitUntilIdle(int ms);
    QString storageInUse();
    void line(const QString &label, const QString &value);

    QTextStream &m_out;
    Modem m_modem;
    int m_rate = 0;
    bool m_interrupted = false;
};
