#pragma once

#include "pdu/smspdu.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

class SimModem;

// The network between the simulated modems: a submitted message addressed to one of them
// arrives there as an SMS-DELIVER; every submission is recorded for the control socket.
class SimNetwork
{
public:
    struct Submission
    {
        QString destination;
        QString text;
        int parts = 1;
    };

    void add(SimModem *modem);
    void remove(SimModem *modem);
    SimModem *byPort(int port) const { return m_byPort.value(port); }
    SimModem *byNumber(const QString &number) const;
    QList<SimModem *> modems() const { return m_byPort.values(); }

    // One submitted part from a modem; routes it and records the message once complete.
    void submit(SimModem *from, const SmsPdu &submit);
    QList<Submission> submissions(int port) const { return m_submitted.value(port); }
    void clearSubmissions(int port) { m_submitted.remove(port); }
    quint64 submittedParts() const { return m_submittedParts; }
    quint64 deliveredParts() const { return m_deliveredParts; }

private:
    struct Partial
    {
        int total = 0;
        QMap<int, QString> texts;
    };

    QMap<int, SimModem *> m_byPort;
    QHash<int, QList<Submission>> m_submitted;
    QHash<QString, Partial> m_partial;
    quint64 m_submittedParts = 0;
    quint64 m_deliveredParts = 0;
};
