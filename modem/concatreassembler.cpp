#include "concatreassembler.h"

#include <algorithm>

QString ConcatReassembler::keyOf(const Part &part)
{
    return QStringLiteral("%1/%2/%3/%4")
            .arg(part.sender)
            .arg(part.concat.reference)
            .arg(part.concat.total)
            .arg(part.concat.sixteenBit ? 16 : 8);
}

bool ConcatReassembler::isLateDuplicate(const Part &part) const
{
    const auto it = m_completed.constFind(keyOf(part));
    if (it == m_completed.constEnd())
        return false;
    // References repeat after 256 messages; only the same text makes it a resend.
    const auto text = it->constFind(part.concat.sequence);
    return text != it->constEnd() && *text == part.text;
}

bool ConcatReassembler::holds(const Part &part) const
{
    const auto it = m_pending.constFind(keyOf(part));
    if (it == m_pending.constEnd())
        return false;
    const auto text = it->texts.constFind(part.concat.sequence);
    return text != it->texts.constEnd() && *text == part.text;
}

void ConcatReassembler::remember(const QString &key, const Pending &p)
{
    if (!m_completed.contains(key))
        m_completedOrder.enqueue(key);
    m_completed.insert(key, p.texts);
    while (m_completedOrder.size() > RememberedMessages)
        m_completed.remove(m_completedOrder.dequeue());
}

std::optional<ReceivedMessage> ConcatReassembler::add(const Part &part)
{
    const QString key = keyOf(part);
    auto it = m_pending.find(key);
    if (it == m_pending.end()) {
        Pending p;
        p.sender = part.sender;
        p.total = part.concat.total;
        p.age.start();
        it = m_pending.insert(key, p);
    }
    Pending &p = *it;
    if (part.storageIndex >= 0 && !p.storageIndexes.contains(part.storageIndex))
        p.storageIndexes.append(part.storageIndex);
    if (part.partId > 0 && !p.partIds.contains(part.partId))
        p.partIds.append(part.partId);
    if (!part.pdu.isEmpty())
        p.pdus.append(part.pdu);
    p.direct = p.direct || part.direct;
    // A set whose oldest part was read before a restart is as old as that part.
    p.carriedMs = qMax(p.carriedMs, part.carriedMs - p.age.elapsed());
    if (!p.texts.contains(part.concat.sequence))
        p.texts.insert(part.concat.sequence, part.text);
    // The first part's centre and time stamp stand for the message.
    if (part.concat.sequence == 1 || p.timestamp.isEmpty()) {
        p.serviceCentre = part.serviceCentre;
        p.timestamp = part.timestamp;
    }
    if (p.texts.size() < p.total)
        return std::nullopt;
    ReceivedMessage done = join(p);
    remember(key, p);
    m_pending.erase(it);
    return done;
}

ReceivedMessage ConcatReassembler::join(const Pending &p)
{
    ReceivedMessage m;
    m.serviceCentre = p.serviceCentre;
    m.sender = p.sender;
    m.timestamp = p.timestamp;
    QList<int> sequences = p.texts.keys();
    std::sort(sequences.begin(), sequences.end());
    for (int s : sequences)
        m.text += p.texts.value(s);
    m.storageIndexes = p.storageIndexes;
    m.partIds = p.partIds;
    m.pdus = p.pdus;
    m.direct = p.direct;
    return m;
}

QList<ReceivedMessage> ConcatReassembler::takeStale(qint64 maxAgeMs)
{
    QList<ReceivedMessage> out;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->age.elapsed() + it->carriedMs >= maxAgeMs) {
            out.append(join(*it));
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}
