#pragma once

#include "pdu/smspdu.h"
#include "receivedmessage.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QQueue>
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
        qint64 partId = 0; // in the part store, 0 = none
        QByteArray pdu;
        qint64 carriedMs = 0; // how old the part already was when it was added
        bool direct = false;
    };

    // The complete message when this part completes one.
    std::optional<ReceivedMessage> add(const Part &part);
    // A part of a message completed a short while ago, with the same text: a network's resend
    // that came after the message was whole.
    bool isLateDuplicate(const Part &part) const;
    // An incomplete message holds this part (same place in the set, same text) already.
    bool holds(const Part &part) const;
    // Messages still missing parts after maxAgeMs: what arrived, joined in order, so a part lost
    // in the network does not hold the others on the SIM for ever.
    QList<ReceivedMessage> takeStale(qint64 maxAgeMs);
    qsizetype incompleteCount() const { return m_pending.size(); }
    void clear()
    {
        m_pending.clear();
        m_completed.clear();
        m_completedOrder.clear();
    }

private:
    struct Pending
    {
        QString serviceCentre;
        QString sender;
        QString timestamp;
        int total = 0;
        QHash<int, QString> texts;
        QList<int> storageIndexes;
        QList<qint64> partIds;
        QByteArrayList pdus;
        bool direct = false;
        qint64 carriedMs = 0;
        QElapsedTimer age;
    };

    static QString keyOf(const Part &part);
    static ReceivedMessage join(const Pending &p);
    void remember(const QString &key, const Pending &p);

    static constexpr int RememberedMessages = 256;
    QHash<QString, Pending> m_pending;
    QHash<QString, QHash<int, QString>> m_completed;
    QQueue<QString> m_completedOrder;
};
