#pragma once

#include "at/atchannel.h"
#include "concatreassembler.h"
#include "modemsettings.h"
#include "partstore.h"
#include "receivedmessage.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>

class Clock;

// Received messages: read from storage as +CMTI announces them and by listing it, taken
// directly from +CMT, long ones put together from their parts (kept on disk meanwhile when a
// folder is given), handed on, then deleted once released or offered again when kept.
class ModemInbox : public QObject
{
    Q_OBJECT

public:
    // Storage slots of the modem's own memory carry this on top of their index.
    static constexpr int MemoryMe = 0x10000;

    ModemInbox(const ModemSettings &settings, const Clock &clock, QObject *parent = nullptr);

    // The channel of a port just opened, and where that modem keeps messages: waiting parts
    // and messages already stored are read.
    void attach(AtChannel *channel, const ModemStorage &storage);
    // The port closes: anything not yet taken is still in storage and read after the next open.
    void detach();
    quint64 generation() const { return m_generation; }

    bool hasMessage() const { return !m_messages.isEmpty(); }
    ReceivedMessage takeMessage();
    void deleteStored(const QList<int> &indexes);
    void release(const ReceivedMessage &message, std::function<void()> done = {});
    void keep(const ReceivedMessage &message);

    // +CMTI, +CMT.
    void onStored(const QByteArray &memory, int index);
    void onDelivered(const QByteArray &pduHex);
    // The modem says its message store is full: what it holds is read (and so emptied).
    void onStorageFull(const QByteArray &sign);
    // The memory AT+CPMS selected for reading, as of the last command queued; reads of
    // other kinds of record queued behind a switch go to the memory they name.
    void selectMemory(const QByteArray &memory);

Q_SIGNALS:
    void messageAvailable();
    // Something the operator should hear of (a full message store).
    void notice(const QString &text);

private:
    void readStored(const QByteArray &memory, int index);
    void listStored();
    void listMemory(const QByteArray &memory);
    void takeListing(const AtResult &r, int base);
    QByteArray memoryOf(int slot) const;
    void acknowledgeDirect();
    void takePdu(const QByteArray &pduHex, int storageIndex, qint64 partId = 0,
                 qint64 partAgeMs = 0);
    void takePart(ConcatReassembler::Part part, const QByteArray &pduHex, int storageIndex,
                  qint64 partAgeMs);
    void takeUndecodable(const QByteArray &pduHex, int storageIndex, const QString &why);
    void hand(const ReceivedMessage &message);
    void loadParts();
    void checkStaleParts();
    qint64 nowMs() const;

    const ModemSettings &m_settings;
    const Clock &m_clock;
    QPointer<AtChannel> m_channel;
    ModemStorage m_storage;
    QList<ReceivedMessage> m_messages;
    ConcatReassembler m_reassembler;
    QSet<int> m_knownIndexes;
    QSet<int> m_deleting;               // slots with an AT+CMGD on its way
    QSet<int> m_announcedWhileDeleting; // ... and announced again meanwhile
    int m_listingsQueued = 0;           // AT+CMGL on their way
    QTimer m_pollTimer;
    QTimer m_staleTimer;
    PartStore m_partStore;
    int m_keptRetryMs = 0;
    // Changes with every close: what was read before refers to storage as it was then.
    quint64 m_generation = 0;
};
