#pragma once

#include "quarantine.h"
#include "receivejournal.h"
#include "spool.h"
#include "storage/dbhelper.h"
#include "storage/queuedmessage.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <optional>

class Clock;

// A received message as it stands in smsrecv.
struct StoredReceived
{
    qint64 sysNo = 0; // its row's key
    QString sender;
    QString text;
    QString port; // the device it came in on; empty when not known
};

// The message flow's side of the database: the pending-row load, the status writes and the
// storing of received messages, over one DBHelper. What the database cannot take goes to the
// durable spool and is written at the next chance, in order, so that
//  - a received message is never lost (also across a restart of the gateway), and
//  - a row whose status write is still in the spool is never loaded (and so sent) again.
class MessageStore
{
public:
    using Log = std::function<void(const QString &)>;

    MessageStore(const QString &spoolFolder, const Clock &clock, Log log);
    ~MessageStore();

    DBHelper &db() { return m_db; }
    const Spool &spool() const { return m_spool; }

    // Opens the database for a service start.
    bool open(const QString &connectionString, QString *error);
    bool isOpen() const { return m_db.isOpen(); }
    // Why the connection is not open: the last failed open or reconnect, else the failure that
    // took the connection; empty when it is open.
    QString downReason() const;
    // Writes out everything the spool holds, refused entries included.
    void writeOutSpool();
    // Reopens a lost connection, or tries again one that failed at the start (no prompt),
    // and writes out the spool. Entries that the database refused while it was up are tried
    // again only with retryRefused.
    void keepUp(bool retryRefused);

    // The rows at Status 0, less those whose status write still waits in the spool; with a
    // limit, only that many, from the offset-th oldest on.
    std::optional<QList<QueuedMessage>> loadPending(int limit = 0, int offset = 0);
    // The rows at Status 0 that the statement selects, less the same ones loadPending leaves out.
    std::optional<QList<QueuedMessage>> loadPending(const SqlStatement &statement);
    // Writes the record's Status with the current time as HandleTime. The write is made when
    // the event loop comes round, together with the others made meanwhile, in one transaction.
    void writeStatus(const QueuedMessage &message);
    // Makes the status writes not yet made, then runs what was set here.
    void flushStatuses();
    void setAfterStatusFlush(std::function<void()> then) { m_afterFlush = std::move(then); }
    // Runs before any status write is made (to the database or the spool), so what is told
    // of the changes is on the disk before they are.
    void setBeforeStatusWrite(std::function<void()> first) { m_beforeWrite = std::move(first); }
    // Runs once a received message's smsrecv row is in, before the message counts as stored
    // (and its modem deletes it); again for one found stored after a crash.
    void setReceivedStored(std::function<void(const StoredReceived &)> told)
    {
        m_receivedStored = std::move(told);
    }
    // Runs as the turn's write of the statuses begins (not before one made on demand): status
    // changes it makes join that write rather than wait for the next one.
    void setBeforeStatusFlush(std::function<void()> first) { m_beforeFlush = std::move(first); }
    // A write of the statuses in this turn even when none waits yet, for what runs before it.
    void flushSoon()
    {
        if (!m_flushTimer.isActive())
            m_flushTimer.start();
    }
    qsizetype unwrittenStatuses() const { return m_statusBatch.size(); }
    // The row's final status waits to be written (in the batch or the spool).
    bool statusPending(const QString &sysNo) const
    {
        return m_pendingStatus.contains(sysNo)
                || std::any_of(m_statusBatch.cbegin(), m_statusBatch.cend(),
                               [&sysNo](const SpoolEntry &e) { return e.sysNo == sysNo; });
    }
    // Queues one pending row for the test composer; false (and logged) when it failed.
    bool insertTest(const QString &number, const QString &text);
    // Stores one received message, then queues its forwarding row when forwardNumber is set.
    // What the database cannot hold is made so it can: a NUL character becomes U+FFFD, a time
    // stamp that is no date becomes the time of reception. A message the database refuses for
    // its content goes to the quarantine folder. False, with one line in the log, when the
    // message is neither in the database nor on disk: its modem must keep it. key is the
    // modem control's identity of the message, noted in the journal once it is stored.
    bool saveReceived(const QString &sender, const QString &text, const QString &timeStamp,
                      const QString &forwardNumber, const QString &key = {},
                      const QString &port = {});
    // Stores one delivery report into smsreport; what the database cannot take now waits in the
    // spool like a status write. False (and nothing kept) only when neither took it.
    bool saveReport(const QString &sysNo, const QString &number, int status,
                    const QString &deliveryTime);
    // The message of this key was stored before: its modem only has to delete it.
    bool isStored(const QString &key) const { return !key.isEmpty() && m_journal.contains(key); }
    // The modems confirmed the deletion of these stored messages.
    void forgetStored(const QStringList &keys) { m_journal.remove(keys); }
    // Sets aside what a modem held that is no message; false when even that failed.
    bool quarantinePdu(const QString &port, const QString &slot, const QString &hex);
    const Quarantine &quarantine() const { return m_quarantine; }

private:
    void writeOneStatus(SpoolEntry &entry);
    bool writeStatusBatch(const QList<SpoolEntry> &batch);
    bool replay(bool retryRefused);
    bool apply(SpoolEntry &entry);
    bool spoolEntry(SpoolEntry &entry, bool refused, QString *error = nullptr);
    bool refusedForContent(const SpoolEntry &entry);
    bool quarantineEntry(const SpoolEntry &entry, const QString &reason);
    QString storedTime(const SpoolEntry &entry) const;
    void noteStored(const QString &key);
    bool storedBeforeACrash(const SpoolEntry &entry, const QString &key);
    bool holds(const SpoolEntry &entry, const QString &handleTime);
    bool landedMeanwhile(const SpoolEntry &entry);
    // The key of the smsrecv row that holds the message, found by what identifies it (sender,
    // text and the time its row was given); 0 when there is none.
    qint64 receivedRow(const SpoolEntry &entry, const QString &handleTime);
    void announceStored(const SpoolEntry &entry, qint64 sysNo);
    // Inserts the smsrecv row (and the forwarding row when given) in one transaction; the
    // smsrecv row's key, 0 where the engine does not tell it; nullopt when it failed.
    std::optional<qint64> insertReceived(const SpoolEntry &entry, const SqlStatement &forward);
    bool inTable(const QString &table, const QString &number, const QString &text);
    void removeEntry(qint64 id);
    void reportFailure(const QString &what);
    static QString failedAction(const SpoolEntry &entry);
    // The text as every engine can keep it.
    static QString storable(QString text);
    void rebuildStatusIndex();
    bool spoolReceived(SpoolEntry &entry, bool refused, bool lost, const QString &dbFailure,
                       const QString &key);
    QString targetKey() const;

    DBHelper m_db;
    Spool m_spool;
    Quarantine m_quarantine;
    ReceiveJournal m_journal;
    bool m_keepReported = false;
    QList<SpoolEntry> m_statusBatch;
    std::function<void()> m_beforeFlush;
    std::function<void()> m_afterFlush;
    std::function<void()> m_beforeWrite;
    std::function<void(const StoredReceived &)> m_receivedStored;
    QTimer m_flushTimer;
    const Clock &m_clock;
    Log m_log;
    QString m_target;
    mutable QString m_targetKeyOf;
    mutable QString m_targetKey;
    // SysNo -> spool id of its status write, for the database now in use.
    QHash<QString, qint64> m_pendingStatus;
    // Entries the database refused while it was up, and those already reported.
    QSet<qint64> m_refused;
    QSet<qint64> m_reported;
    bool m_lossReported = false;
    bool m_reopenFailureReported = false;
    QString m_openFailure;
};
