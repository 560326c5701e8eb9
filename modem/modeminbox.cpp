#include "modeminbox.h"

#include "common/clock.h"
#include "pdu/pdudecoder.h"

#include <QLoggingCategory>

#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcModem)

namespace {

constexpr int ReadMs = 10000;
constexpr int ListMs = 15000;

ReceivedMessage slotsOnly(const QList<int> &indexes)
{
    ReceivedMessage m;
    m.storageIndexes = indexes;
    return m;
}

} // namespace

ModemInbox::ModemInbox(const ModemSettings &settings, const Clock &clock, QObject *parent)
    : QObject(parent), m_settings(settings), m_clock(clock)
{
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        if (m_channel && m_channel->isIdle())
            listStored();
    });
    connect(&m_staleTimer, &QTimer::timeout, this, &ModemInbox::checkStaleParts);
}

qint64 ModemInbox::nowMs() const
{
    return m_clock.now().toMSecsSinceEpoch();
}

void ModemInbox::attach(AtChannel *channel, const ModemStorage &storage)
{
    m_channel = channel;
    m_storage = storage;
    m_partStore.setFolder(m_settings.partsFolder);
    m_keptRetryMs = 0;
    if (m_settings.indicationMode < 1 || m_settings.indicationMode > 3)
        m_pollTimer.start(m_settings.pollMs);
    m_staleTimer.start(int(qMin<qint64>(m_settings.partsMaxAgeMs, 60000)));
    // Messages that wait from before (or from a run that ended before it could store them)
    // are announced once the caller has the port as open.
    loadParts();
    listStored();
}

void ModemInbox::detach()
{
    m_channel = nullptr;
    m_pollTimer.stop();
    m_staleTimer.stop();
    ++m_generation; // messages held back for a while are read again after the next open
    m_messages.clear();
    m_reassembler.clear();
    m_knownIndexes.clear();
    m_deleting.clear();
    m_announcedWhileDeleting.clear();
    m_listingsQueued = 0;
}

ReceivedMessage ModemInbox::takeMessage()
{
    return m_messages.isEmpty() ? ReceivedMessage() : m_messages.takeFirst();
}

void ModemInbox::deleteStored(const QList<int> &indexes)
{
    release(slotsOnly(indexes));
}

QByteArray ModemInbox::memoryOf(int slot) const
{
    return (slot & MemoryMe) ? QByteArray("ME") : m_storage.storageMemory;
}

void ModemInbox::selectMemory(const QByteArray &memory)
{
    // Tracks the memory as of the last command queued, so reads and deletions queued behind
    // a switch go to the memory they name.
    if (memory.isEmpty() || memory == m_storage.readMemory || !m_channel)
        return;
    m_storage.readMemory = memory;
    AtCommand c;
    c.text = "AT+CPMS=\"" + memory + "\"";
    c.timeoutMs = m_settings.commandMs;
    c.prefixes = {"+CPMS:"};
    m_channel->send(c, [this](const AtResult &r) {
        if (!r.ok())
            m_storage.readMemory.clear();
    });
}

void ModemInbox::release(const ReceivedMessage &message, std::function<void()> done)
{
    m_keptRetryMs = 0;
    if (!message.partIds.isEmpty())
        m_partStore.markDone(message.pdus);
    for (qint64 id : message.partIds)
        m_partStore.remove(id);
    if (message.direct)
        acknowledgeDirect();
    if (!m_channel || message.storageIndexes.isEmpty()) {
        if (done && message.storageIndexes.isEmpty())
            done();
        return;
    }
    auto left = std::make_shared<qsizetype>(message.storageIndexes.size());
    auto failed = std::make_shared<bool>(false);
    for (int slot : message.storageIndexes) {
        selectMemory(memoryOf(slot));
        m_deleting.insert(slot);
        AtCommand c;
        c.text = "AT+CMGD=" + QByteArray::number(slot & (MemoryMe - 1));
        c.timeoutMs = m_settings.commandMs;
        m_channel->send(c, [this, slot, left, failed, done](const AtResult &r) {
            m_knownIndexes.remove(slot);
            m_deleting.remove(slot);
            // A full storage takes the next message into the slot at once.
            if (m_announcedWhileDeleting.remove(slot))
                readStored(memoryOf(slot), slot & (MemoryMe - 1));
            *failed = *failed || !r.ok();
            if (--*left == 0 && !*failed && done)
                done();
        });
    }
}

void ModemInbox::keep(const ReceivedMessage &message)
{
    m_keptRetryMs = m_keptRetryMs == 0 ? m_settings.keptRetryMs
                                       : qMin(m_keptRetryMs * 2, m_settings.keptRetryMaxMs);
    const quint64 generation = m_generation;
    QTimer::singleShot(m_keptRetryMs, this, [this, message, generation] {
        // After a reopen the message has been read from where it waits again.
        if (generation != m_generation || !m_channel)
            return;
        hand(message);
    });
}

void ModemInbox::acknowledgeDirect()
{
    if (!m_storage.ackDirect || !m_channel)
        return;
    AtCommand c;
    c.text = "AT+CNMA";
    c.timeoutMs = m_settings.commandMs;
    m_channel->send(c);
}

void ModemInbox::onStored(const QByteArray &memory, int index)
{
    readStored(memory, index);
}

void ModemInbox::onDelivered(const QByteArray &pduHex)
{
    takePdu(pduHex, -1);
}

void ModemInbox::readStored(const QByteArray &memory, int index)
{
    const int slot = memory == "ME" && m_storage.storageMemory != "ME" ? index | MemoryMe : index;
    if (m_deleting.contains(slot))
        m_announcedWhileDeleting.insert(slot);
    if (!m_channel || m_knownIndexes.contains(slot))
        return;
    m_knownIndexes.insert(slot);
    selectMemory(memoryOf(slot));
    AtCommand c;
    c.text = "AT+CMGR=" + QByteArray::number(index);
    c.timeoutMs = ReadMs;
    c.prefixes = {"+CMGR:"};
    c.pduAfterLine = true;
    m_channel->send(c, [this, slot](const AtResult &r) {
        if (r.ok() && r.lines.size() >= 2)
            takePdu(r.lines[1], slot);
        else
            m_knownIndexes.remove(slot); // empty slot, or read again at the next listing
    });
}

void ModemInbox::listStored()
{
    listMemory(m_storage.storageMemory);
    if (m_storage.meUsable && m_storage.storageMemory != "ME")
        listMemory("ME");
}

void ModemInbox::onStorageFull(const QByteArray &sign)
{
    // The open lists the store anyway, and a listing already on its way reads what it holds;
    // reacting again would list without end on a modem that says so for every command.
    if (!m_channel || m_listingsQueued > 0)
        return;
    qCWarning(lcModem).noquote() << m_settings.portName << "says" << sign
                                 << "(message store full): reading what it holds";
    Q_EMIT notice(QStringLiteral("短信猫报告短信存储已满（%1），正在读出存储中的短信")
                          .arg(QString::fromLatin1(sign)));
    listStored();
}

void ModemInbox::listMemory(const QByteArray &memory)
{
    if (!m_channel)
        return;
    const int base = memory == "ME" && m_storage.storageMemory != "ME" ? MemoryMe : 0;
    selectMemory(memory);
    AtCommand c;
    c.text = "AT+CMGL=4";
    c.timeoutMs = ListMs;
    c.prefixes = {"+CMGL:"};
    c.pduAfterLine = true;
    ++m_listingsQueued;
    m_channel->send(c, [this, base](const AtResult &r) {
        --m_listingsQueued;
        if (r.ok())
            takeListing(r, base);
    });
}

void ModemInbox::takeListing(const AtResult &r, int base)
{
    for (qsizetype i = 0; i + 1 < r.lines.size(); ++i) {
        const auto listed = AtResponse::parseListed(r.lines[i]);
        if (!listed || r.lines[i + 1].startsWith("+CMGL:"))
            continue;
        const QByteArray pdu = r.lines[++i];
        const int slot = listed->index | base;
        // Status 2 and 3 are stored outgoing messages.
        if (listed->status > 1 || m_knownIndexes.contains(slot))
            continue;
        m_knownIndexes.insert(slot);
        takePdu(pdu, slot);
    }
}

void ModemInbox::loadParts()
{
    const qint64 now = nowMs();
    for (const PartStore::Part &p : m_partStore.load())
        takePdu(p.pduHex, -1, p.id, qMax<qint64>(0, now - p.receivedMs));
}

void ModemInbox::hand(const ReceivedMessage &message)
{
    m_messages.append(message);
    Q_EMIT messageAvailable();
}

// storageIndex -1 and partId 0: a direct delivery (+CMT).
void ModemInbox::takePdu(const QByteArray &pduHex, int storageIndex, qint64 partId,
                         qint64 partAgeMs)
{
    QString error;
    const auto pdu = PduDecoder::decodeHex(pduHex, &error);
    if (!pdu) {
        takeUndecodable(pduHex, storageIndex, error);
        return;
    }
    if (pdu->type == SmsPdu::Type::StatusReport) {
        if (storageIndex >= 0)
            deleteStored({storageIndex});
        return;
    }
    if (pdu->type != SmsPdu::Type::Deliver) {
        takeUndecodable(pduHex, storageIndex, QStringLiteral("no SMS-DELIVER"));
        return;
    }
    // 8-bit data is no text; as hexadecimal octets it survives any database.
    const QString text = pdu->userData.alphabet == SmsAlphabet::EightBit
            ? QString::fromLatin1(pdu->userData.data.toHex().toUpper())
            : pdu->userData.text;
    if (pdu->concat.isValid()) {
        ConcatReassembler::Part part;
        part.serviceCentre = pdu->serviceCentre;
        part.sender = pdu->address;
        part.timestamp = pdu->timestamp;
        part.text = text;
        part.concat = pdu->concat;
        part.partId = partId;
        takePart(part, pduHex, storageIndex, partAgeMs);
        return;
    }
    ReceivedMessage m;
    m.serviceCentre = pdu->serviceCentre;
    m.sender = pdu->address;
    m.text = text;
    m.timestamp = pdu->timestamp;
    m.pdus.append(pduHex);
    if (storageIndex >= 0)
        m.storageIndexes.append(storageIndex);
    m.direct = storageIndex < 0;
    hand(m);
}

void ModemInbox::takePart(ConcatReassembler::Part part, const QByteArray &pduHex, int storageIndex,
                          qint64 partAgeMs)
{
    part.pdu = pduHex;
    part.carriedMs = partAgeMs;
    // A copy of a part already on disk (its deletion from storage was cut short), or of one
    // whose message has been handed on already.
    const bool copy = part.partId == 0 && m_partStore.isEnabled()
            && (m_partStore.isDone(pduHex) || m_reassembler.holds(part));
    if (copy || m_reassembler.isLateDuplicate(part)) {
        ReceivedMessage done =
                slotsOnly(storageIndex >= 0 ? QList<int>{storageIndex} : QList<int>{});
        if (part.partId > 0)
            done.partIds = {part.partId};
        done.direct = part.partId == 0 && storageIndex < 0;
        release(done);
        return;
    }
    if (part.partId == 0 && m_partStore.isEnabled()) {
        // Off the SIM at once: parts whose set never completes must not fill it.
        QString error;
        if (const qint64 id = m_partStore.add(pduHex, nowMs(), &error)) {
            part.partId = id;
            if (storageIndex >= 0)
                deleteStored({storageIndex});
            else
                acknowledgeDirect();
            storageIndex = -1;
        } else {
            qCWarning(lcModem) << "part kept in storage:" << error;
        }
    }
    part.storageIndex = storageIndex;
    part.direct = part.partId == 0 && storageIndex < 0;
    if (auto done = m_reassembler.add(part))
        hand(*done);
}

void ModemInbox::takeUndecodable(const QByteArray &pduHex, int storageIndex, const QString &why)
{
    qCWarning(lcModem) << "undecodable message at" << storageIndex << ":" << why;
    ReceivedMessage m;
    m.undecodable = true;
    m.text = why;
    m.pdus.append(pduHex);
    if (storageIndex >= 0)
        m.storageIndexes.append(storageIndex);
    m.direct = storageIndex < 0;
    hand(m);
}

void ModemInbox::checkStaleParts()
{
    // Also the moment to look for what no indication announced (a SIM that was full, a modem
    // that stores without saying so).
    if (m_channel && m_channel->isIdle())
        listStored();
    const QList<ReceivedMessage> stale = m_reassembler.takeStale(m_settings.partsMaxAgeMs);
    if (stale.isEmpty())
        return;
    m_messages.append(stale);
    Q_EMIT messageAvailable();
}
