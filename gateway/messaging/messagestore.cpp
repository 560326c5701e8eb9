#include "messagestore.h"

#include "storage/statements.h"

#include "common/clock.h"
#include "common/textcodec.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>

namespace {

// Beside the spool, in the program directory.
QString besideSpool(const QString &spoolFolder, const QString &name)
{
    return QDir::cleanPath(QFileInfo(spoolFolder).absolutePath() + QLatin1Char('/') + name);
}

// A healthy server answers a reconnection well within this.
constexpr int ReconnectWaitMs = 500;

} // namespace

// No engine keeps a NUL or half a surrogate pair inside a text; U+FFFD says a character stood
// there.
QString MessageStore::storable(QString text)
{
    return withoutLoneSurrogates(std::move(text)).replace(QChar(0), QChar::ReplacementCharacter);
}

MessageStore::MessageStore(const QString &spoolFolder, const Clock &clock, Log log)
    : m_spool(spoolFolder), m_quarantine(besideSpool(spoolFolder, QStringLiteral("quarantine"))),
      m_journal(besideSpool(spoolFolder, QStringLiteral("received.journal"))), m_clock(clock),
      m_log(std::move(log))
{
    m_journal.load();
    for (const QString &bad : m_spool.load())
        m_log(QStringLiteral("暂存文件无法读取，已改名为%1.bad").arg(bad));
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    QObject::connect(&m_flushTimer, &QTimer::timeout, &m_flushTimer, [this] {
        if (m_beforeFlush)
            m_beforeFlush();
        flushStatuses();
    });
}

MessageStore::~MessageStore()
{
    flushStatuses();
}

QString MessageStore::targetKey() const
{
    // Status writes name rows by key, which means something only in the database they came
    // from; the connection string, hashed once, identifies it without being on disk in clear.
    if (m_targetKeyOf != m_target || m_targetKey.isEmpty()) {
        m_targetKeyOf = m_target;
        m_targetKey = QString::fromLatin1(
                QCryptographicHash::hash(m_target.trimmed().toUtf8(), QCryptographicHash::Sha256)
                        .toHex());
    }
    return m_targetKey;
}

void MessageStore::rebuildStatusIndex()
{
    m_pendingStatus.clear();
    const QString key = targetKey();
    for (const SpoolEntry &e : m_spool.entries()) {
        if (e.kind == SpoolEntry::Kind::Status && e.target == key)
            m_pendingStatus.insert(e.sysNo, e.id);
    }
}

bool MessageStore::open(const QString &connectionString, QString *error)
{
    // Writes made for the connection being replaced belong to it.
    flushStatuses();
    m_target = connectionString;
    rebuildStatusIndex();
    m_refused.clear();
    m_lossReported = false;
    m_reopenFailureReported = false;
    m_openFailure.clear();
    if (m_db.OpenConnection(connectionString, error))
        return true;
    m_openFailure = *error;
    // The operator has been shown this failure; the retries at the ticks stay quiet about it.
    m_reopenFailureReported = true;
    return false;
}

QString MessageStore::downReason() const
{
    if (m_db.isOpen())
        return {};
    return m_openFailure.isEmpty() ? m_db.lastError() : m_openFailure;
}

void MessageStore::writeOutSpool()
{
    if (m_db.isOpen() && !m_spool.isEmpty())
        replay(true);
}

void MessageStore::keepUp(bool retryRefused)
{
    if (!m_db.isOpen() && !m_target.isEmpty()) {
        QString error;
        // A connection that was never made (the server was still down at the start) is
        // opened afresh; one that was lost is reopened. A server that does not answer at once
        // is asked again at the next tick, not waited for.
        const DBHelper::Reconnect reconnect = m_db.reconnect(m_target, &error, ReconnectWaitMs);
        if (reconnect == DBHelper::Reconnect::Failed)
            m_openFailure = error;
        if (reconnect != DBHelper::Reconnect::Done) {
            if (!m_reopenFailureReported)
                m_log(QStringLiteral("数据库重新连接失败：") + error);
            m_reopenFailureReported = true;
            return;
        }
        m_log(QStringLiteral("数据库重新连接成功……"));
        m_openFailure.clear();
        m_lossReported = false;
        m_reopenFailureReported = false;
    }
    if (m_db.isOpen() && !m_spool.isEmpty())
        replay(retryRefused);
}

void MessageStore::reportFailure(const QString &what)
{
    if (m_db.lastFailureLostConnection()) {
        if (!m_lossReported)
            m_log(QStringLiteral("数据库连接中断：") + m_db.lastError());
        m_lossReported = true;
        return;
    }
    m_log(what + QStringLiteral("：") + m_db.lastError());
}

std::optional<QList<QueuedMessage>> MessageStore::loadPending(int limit, int offset)
{
    return loadPending(limit > 0 ? Statements::loadPendingShare(limit, offset)
                                 : Statements::loadPending());
}

std::optional<QList<QueuedMessage>> MessageStore::loadPending(const SqlStatement &statement)
{
    // Rows whose status write is still to be made must not be read as pending.
    flushStatuses();
    auto rows = m_db.readQueuedMessages(statement);
    if (!rows) {
        reportFailure(QStringLiteral("读取待发短信失败"));
        return std::nullopt;
    }
    qsizetype keyless = 0;
    const auto skip = [&](const QueuedMessage &m) {
        // A row without a key cannot have its result written back; sending it would send
        // it again at every load.
        if (m.SysNo.isEmpty()) {
            ++keyless;
            return true;
        }
        return m_pendingStatus.contains(m.SysNo);
    };
    if (!m_pendingStatus.isEmpty() || std::any_of(rows->cbegin(), rows->cend(), skip))
        rows->removeIf(skip);
    if (keyless > 0)
        m_log(QStringLiteral("待发短信中有%1条SysNo为空，无法回写结果，未发送！").arg(keyless));
    return rows;
}

void MessageStore::writeStatus(const QueuedMessage &message)
{
    SpoolEntry entry;
    entry.kind = SpoolEntry::Kind::Status;
    entry.sysNo = message.SysNo;
    entry.status = message.Status;
    entry.handleTime = Statements::timeText(m_clock.now());
    entry.target = targetKey();
    m_statusBatch.append(entry);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void MessageStore::flushStatuses()
{
    // The turn's write stays due even when this one comes first: what runs before it may
    // have status changes to add.
    if (m_statusBatch.isEmpty())
        return;
    if (m_beforeWrite)
        m_beforeWrite();
    QList<SpoolEntry> batch;
    batch.swap(m_statusBatch);
    const auto waiting = [this](const SpoolEntry &e) {
        return m_pendingStatus.contains(e.sysNo);
    };
    // An earlier write for the same row must land first, or it would undo this one later.
    if (m_db.isOpen() && std::any_of(batch.cbegin(), batch.cend(), waiting))
        replay(false);
    if (!(batch.size() > 1 && m_db.isOpen() && std::none_of(batch.cbegin(), batch.cend(), waiting)
          && writeStatusBatch(batch))) {
        for (SpoolEntry &entry : batch)
            writeOneStatus(entry);
    }
    if (m_afterFlush)
        m_afterFlush();
}

// All writes of the batch in one transaction; false (and nothing written) when any of them
// fails, so that they are made one by one and each failure is handled on its own.
bool MessageStore::writeStatusBatch(const QList<SpoolEntry> &batch)
{
    QList<SqlStatement> statements;
    statements.reserve(batch.size());
    for (const SpoolEntry &e : batch)
        statements << Statements::updateStatus({e.sysNo, {}, {}, e.status}, e.handleTime);
    if (m_db.execAll(statements))
        return true;
    if (m_db.lastFailureLostConnection())
        reportFailure(QString());
    return false;
}

void MessageStore::writeOneStatus(SpoolEntry &entry)
{
    bool refused = false;
    if (!m_pendingStatus.contains(entry.sysNo) && m_db.isOpen()) {
        if (apply(entry))
            return;
        reportFailure(failedAction(entry));
        refused = !m_db.lastFailureLostConnection();
    }
    const qint64 earlier = m_pendingStatus.value(entry.sysNo, 0);
    spoolEntry(entry, refused);
    if (earlier > 0 && entry.id > 0)
        removeEntry(earlier);
}

bool MessageStore::saveReceived(const QString &sender, const QString &text,
                                const QString &timeStamp, const QString &forwardNumber,
                                const QString &key, const QString &port)
{
    SpoolEntry entry;
    entry.kind = SpoolEntry::Kind::Received;
    entry.port = port;
    entry.sender = sender;
    entry.text = text;
    entry.timeStamp = timeStamp;
    entry.receivedAt = Statements::timeText(m_clock.now());
    entry.forwardNumber = forwardNumber.trimmed().isEmpty() ? QString() : forwardNumber;

    if (m_db.isOpen() && !m_spool.isEmpty())
        replay(false);
    if (storedBeforeACrash(entry, key)) {
        noteStored(key);
        return true;
    }
    bool refused = false;
    bool lost = false;
    QString dbFailure;
    if (m_db.isOpen()) {
        if (apply(entry)) {
            noteStored(key);
            return true;
        }
        lost = m_db.lastFailureLostConnection();
        refused = !lost;
        entry.inDoubt = m_db.lastFailureInDoubt();
        const QString reason = m_db.lastError();
        dbFailure = (lost ? QStringLiteral("数据库连接中断") : failedAction(entry))
                + QStringLiteral("：") + reason;
        if (refused && !entry.stored && refusedForContent(entry)
            && quarantineEntry(entry, reason)) {
            noteStored(key);
            return true;
        }
    }
    return spoolReceived(entry, refused, lost, dbFailure, key);
}

// A received message the database did not take: into the spool, or left on the SIM when not
// even the spool takes it.
bool MessageStore::spoolReceived(SpoolEntry &entry, bool refused, bool lost,
                                 const QString &dbFailure, const QString &key)
{
    QString error;
    if (!spoolEntry(entry, refused, &error)) {
        if (entry.stored) {
            // The smsrecv row is in: the message is kept, only its forwarding is lost.
            m_log(dbFailure);
            m_log(QStringLiteral("写入本地暂存失败：") + error);
            noteStored(key);
            return true;
        }
        if (!m_keepReported)
            m_log(QStringLiteral("短信未能保存，留在SIM卡上稍后再读：")
                  + (dbFailure.isEmpty() ? QString() : dbFailure + QStringLiteral("；"))
                  + QStringLiteral("写入本地暂存失败：") + error);
        m_keepReported = true;
        return false;
    }
    if (!dbFailure.isEmpty() && !(lost && m_lossReported))
        m_log(dbFailure);
    m_lossReported = m_lossReported || lost;
    noteStored(key);
    m_log(QStringLiteral("短信暂存本地，待数据库可用时保存……"));
    return true;
}

bool MessageStore::saveReport(const QString &sysNo, const QString &number, int status,
                              const QString &deliveryTime)
{
    SpoolEntry entry;
    entry.kind = SpoolEntry::Kind::Report;
    entry.sysNo = sysNo;
    entry.reportNumber = number;
    entry.reportStatus = status;
    entry.deliveryTime = deliveryTime;
    entry.reportTime = Statements::timeText(m_clock.now());
    entry.target = targetKey();
    bool refused = false;
    if (m_db.isOpen()) {
        if (apply(entry))
            return true;
        reportFailure(failedAction(entry));
        refused = !m_db.lastFailureLostConnection();
    }
    return spoolEntry(entry, refused);
}

// A message read again whose mark says a crash may have cut its storing short is looked for;
// any other is marked before it is stored.
bool MessageStore::storedBeforeACrash(const SpoolEntry &entry, const QString &key)
{
    if (key.isEmpty())
        return false;
    if (m_journal.isPending(key) && holds(entry, m_journal.pendingTime(key)))
        return true;
    QString error;
    if (!m_journal.markPending(key, storedTime(entry), &error))
        qWarning("receive journal: %s", qPrintable(error));
    return false;
}

// Whether a message whose storing a crash may have cut short is in the spool or in smsrecv.
// In smsrecv it is known by the time its row was given as well as by its number and text: an
// earlier "OK" from the same sender must not pass for it.
bool MessageStore::holds(const SpoolEntry &entry, const QString &handleTime)
{
    for (const SpoolEntry &e : m_spool.entries()) {
        if (e.kind == SpoolEntry::Kind::Received && e.sender == entry.sender && e.text == entry.text
            && e.timeStamp == entry.timeStamp)
            return true;
    }
    if (!m_db.isOpen())
        return false;
    if (handleTime.isEmpty())
        return inTable(QStringLiteral("smsrecv"), storable(entry.sender), storable(entry.text));
    const qint64 sysNo = receivedRow(entry, handleTime);
    // Found, it may never have been told of: the crash may have come first.
    if (sysNo > 0)
        announceStored(entry, sysNo);
    return sysNo > 0;
}

qint64 MessageStore::receivedRow(const SpoolEntry &entry, const QString &handleTime)
{
    const auto rows = m_db.readRows(
            Statements::findReceived(storable(entry.sender), storable(entry.text), handleTime));
    return rows && !rows->isEmpty() ? rows->first().value(0).toLongLong() : 0;
}

void MessageStore::announceStored(const SpoolEntry &entry, qint64 sysNo)
{
    if (m_receivedStored)
        m_receivedStored({sysNo, entry.sender, entry.text, entry.port});
}

std::optional<qint64> MessageStore::insertReceived(const SpoolEntry &entry,
                                                   const SqlStatement &forward)
{
    const QString time = storedTime(entry);
    SqlStatement sql = Statements::insertReceived(storable(entry.sender), storable(entry.text), time);
    // PostgreSQL tells a new row's key only when the insert asks for it.
    if (m_db.driver() && m_db.driver()->dbmsType() == QSqlDriver::PostgreSQL)
        sql.sql += QStringLiteral(" returning SysNo");
    QList<SqlStatement> statements{sql};
    if (!forward.sql.isEmpty())
        statements << forward;
    if (const auto keys = m_db.insertAll(statements)) {
        bool known = false;
        const qint64 key = keys->value(0).toLongLong(&known);
        return known && key > 0 ? key : receivedRow(entry, time);
    }
    // An engine without transactions (ODBC) takes the smsrecv row alone, and does not say
    // its key; the caller makes the forwarding row on its own.
    if (!forward.sql.isEmpty() || !m_db.isOpen() || m_db.lastFailureInDoubt()
        || !m_db.ExecSQLString(sql))
        return std::nullopt;
    return receivedRow(entry, time);
}

// A write given up on while it committed may have gone through once the server answered;
// both rows of a message are written in one transaction, so its first row tells.
bool MessageStore::landedMeanwhile(const SpoolEntry &entry)
{
    if (entry.kind != SpoolEntry::Kind::Received)
        return false;
    if (entry.stored)
        return inTable(QStringLiteral("sms"), entry.forwardNumber,
                       Statements::forwardText(storable(entry.sender), storable(entry.text)));
    // Known by the time its row was given as well: an earlier "OK" from the same sender must
    // not pass for it.
    const qint64 sysNo = receivedRow(entry, storedTime(entry));
    if (sysNo > 0)
        announceStored(entry, sysNo);
    return sysNo > 0;
}

// A row of smsrecv or SMS with this number and text exists.
bool MessageStore::inTable(const QString &table, const QString &number, const QString &text)
{
    const auto rows = m_db.readRows(Statements::countMatching(table, number, text));
    return rows && !rows->isEmpty() && rows->first().value(0).toLongLong() > 0;
}

void MessageStore::noteStored(const QString &key)
{
    m_keepReported = false;
    QString error;
    // Without the note a crash before the deletion stores the message again; nothing more.
    if (!m_journal.add(key, &error))
        qWarning("receive journal: %s", qPrintable(error));
}

QString MessageStore::storedTime(const SpoolEntry &entry) const
{
    const QString converted = Statements::ConvertTimeStamp(entry.timeStamp);
    if (QDateTime::fromString(converted, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid())
        return converted;
    return entry.receivedAt.isEmpty() ? Statements::timeText(m_clock.now()) : entry.receivedAt;
}

bool MessageStore::insertTest(const QString &number, const QString &text)
{
    if (m_db.ExecSQLString(Statements::insertTest(number, text)))
        return true;
    reportFailure(QStringLiteral("测试短信入库失败"));
    return false;
}
