#pragma once

#include "journalwriter.h"
#include "refusaljournal.h"
#include "sendcounts.h"
#include "sendjournal.h"
#include "sendpolicy.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

class Clock;
class DevicePool;
struct QueuedMessage;
struct Settings;

// The sending policy at work in the engine: it keeps the counts, says which device takes which
// row, paces each device and says in the log when a device starts and ends resting or a route
// is left without a device. Does nothing while the policy is off.
class SendingPolicy
{
public:
    using Log = std::function<void(const QString &)>;
    enum class HandOver { Taken, NotTaken, Gone, Stop };
    // Hands row `at` of the queue to device d; Gone when the row left the queue (taken by
    // another gateway), Stop when no row can be handed now.
    using HandOverRow = std::function<HandOver(int d, qsizetype at)>;
    // Row `at` goes to -1 at that time for the reason given (the Reason column's text), and
    // leaves the queue.
    using RefuseRow =
            std::function<void(qsizetype at, const QString &reason, const QDateTime &when)>;

    SendingPolicy(const Settings &settings, const DevicePool &pool, const Clock &clock,
                  QString programDir, Log log);
    ~SendingPolicy();

    bool enabled() const;
    // Offers the queue's rows, from its end, to the devices that may take them.
    // Devices in held were given a row already that they do not have yet, and take no other.
    void dispatch(QList<QueuedMessage> &queue, const HandOverRow &handOver, const RefuseRow &refuse,
                  const QList<int> &held = {});
    // Counts the message device d was given, on the disk before the modem has it.
    void handedOver(int d, const QueuedMessage &row);
    // Device devices[i] is given rows[i]: all counted with one wait for the disk.
    void handedOver(const QList<int> &devices, const QList<QueuedMessage> &rows);
    // Device d failed row. True when the row may go to another device: the modem refused it
    // for certain, attempts are left and a device of its route (connected or not yet) has not
    // refused it yet.
    bool retryElsewhere(int d, QueuedMessage &row, bool refusedForCertain);

    // Rows loaded anew learn which devices refused them before the queue was last loaded,
    // whatever happened in between.
    void recallRefusals(QList<QueuedMessage> &rows);
    // The row ended; which devices refused it is no longer kept.
    void rowEnded(const QString &sysNo);
    // The rows kept as refused by some device, waiting for another one.
    QStringList refusedRows();
    // These rows are gone from the table (the application deleted them).
    void rowsGone(const QStringList &sysNos);

    // Devices for which this says true take no rows (a SIM whose balance is too low).
    void setStopped(std::function<bool(int d)> stopped) { m_stopped = std::move(stopped); }

    DeviceUsage usage(int d) const;
    // Why device d rests and until when, as the last dispatch found it.
    std::optional<DeviceRest> restOf(int d) const;
    // When the shortest period device d has a limit for begins anew (the day without any).
    QDateTime nextReset(int d) const;
    // The journal's file: each gateway of a shared database its own.
    static QString journalPath(const QString &programDir, const QString &gatewayName,
                               const QString &base = QStringLiteral("SendCounts"));

private:
    // The devices as they are now; held ones are not free.
    const QList<PolicyDevice> &devices(const QList<int> &held = {});
    void prepare();
    void reportRests(const SendPolicy &policy, qint64 now);
    void reportRest(const SendPolicy &policy, int d);
    void reportRoutes();
    void compact();
    static PolicyRow rowOf(QueuedMessage &row);

    const Settings &m_settings;
    const DevicePool &m_pool;
    const Clock &m_clock;
    QString m_programDir;
    Log m_log;
    std::unique_ptr<SendJournal> m_journal;
    std::unique_ptr<RefusalJournal> m_refusals;
    SendCounts m_counts;
    // The month whose start the journal was last compacted at; -1 before the first.
    qint64 m_compactedMonth = -1;
    qint64 m_numbersPrunedAt = 0;
    QList<std::optional<DeviceRest>> m_rests;
    // Devices counted since their rest was last looked at, and when every device last was.
    QList<int> m_counted;
    qint64 m_allRestsSeenAt = -1;
    QList<bool> m_routeDown;
    // Each device as the last pass saw it, with its pacing. Filled in again where it stands on
    // every pass: nobody else holds it once a pass is over, so nothing is copied.
    QList<PolicyDevice> m_devices;
    // The ports m_devices was named from; a reload that renumbers them gives a new list.
    QStringList m_ports;
    // The journals' files, for the GatewayName they were made from.
    QString m_pathsFor;
    QString m_countsPath;
    QString m_refusalsPath;
    std::minstd_rand m_random{std::random_device{}()};
    // The rows a pass handed out are counted as it ends, their journal lines written on
    // another thread while the pass's status writes go to the database; handedOver() waits for
    // them before any modem has its row. One handed over within the pass is counted there.
    void countAhead(const QList<int> &devices, const QList<PolicyRow> &rows,
                    const QStringList &sysNos);
    // Adds the records to the counts and paces their devices.
    void count(const QList<SendRecord> &records, const QList<int> &devices);
    // Waits for the journal lines on their way to the disk.
    void settle();
    JournalWriter m_writer;
    QSet<QString> m_countedAhead;
    QSet<QString> m_countedInPass;
    bool m_inPass = false;
    std::function<bool(int d)> m_stopped;
};
