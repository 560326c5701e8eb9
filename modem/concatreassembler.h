#pragma once

#include "pdu/smspdu.h"
#include "receivedmessage.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// Joins the parts of concatenated messages (TS 23.040 §9.2.3.24.1), whatever order they come
// in. A part that comes twice (networks resend when an acknowledgement was late) is kept once;
// its storage index joins the message so it is deleted with it.
class ConcatReassembler
{
public:
    struct Part
    {
        QString serviceCentre;
        QString sender;
        QString timestamp;
        QString text;
        ConcatInfo concat;
        int storageIndex = -1;
    };

    // The complete message when this part completes one.
    std::optional<ReceivedMessage> add(const Part &part);
    // Messages still missing parts after maxAgeMs: what arrived, joined in order, so a part lost
    // in the network does not hold the others on the SIM for ever.
    QList<ReceivedMessage> takeStale(qint64 maxAgeMs);
    qsizetype incompleteCount() const { return m_pending.size(); }
    void clear() { m_pending.clear(); }

private:
    struct Pending
    {
        QString serviceCentre;
        QString sender;
        QString timestamp;
        int total = 0;
        QHash<int, QString> texts;
        QList<int> storageIndexes;
        QElapsedTimer age;
    };

    static ReceivedMessage join(const Pending &p);

    QHash<QString, Pending> m_pending;
};
