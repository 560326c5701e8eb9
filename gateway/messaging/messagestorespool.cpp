// The store's spool: what the database could not take when it came, kept on disk and written out
// in the order it was filled once the database takes it again.
#include "messagestore.h"

#include "storage/statements.h"

// Runs the statements of one entry. A received message whose smsrecv row is in but whose
// forwarding row is not is rewritten as such first, so the smsrecv row is never made twice.
bool MessageStore::apply(SpoolEntry &entry)
{
    using St = Statements;
    if (entry.kind == SpoolEntry::Kind::Status) {
        const QueuedMessage row{entry.sysNo, {}, {}, entry.status};
        return m_db.ExecSQLString(St::updateStatus(row, entry.handleTime)).has_value();
    }
    if (entry.kind == SpoolEntry::Kind::Report)
        return m_db
                .ExecSQLString(St::insertReport(entry.sysNo, entry.reportNumber, entry.reportStatus,
                                                entry.deliveryTime, entry.reportTime))
                .has_value();
    if (entry.inDoubt && landedMeanwhile(entry))
        return true;
    const QString sender = storable(entry.sender);
    const QString text = storable(entry.text);
    const SqlStatement forward = entry.forwardNumber.isEmpty()
            ? SqlStatement()
            : St::insertForward(entry.forwardNumber, sender, text);
    if (!entry.stored) {
        // Both rows in one commit when they can be: one flush to disk instead of two. When
        // that fails they are made one after the other, so a refused forwarding row does not
        // hold back the received one.
        if (!forward.sql.isEmpty()) {
            if (const std::optional<qint64> sysNo = insertReceived(entry, forward)) {
                announceStored(entry, *sysNo);
                return true;
            }
            if (!m_db.isOpen())
                return false;
        }
        const std::optional<qint64> sysNo = insertReceived(entry, {});
        if (!sysNo)
            return false;
        entry.stored = true;
        announceStored(entry, *sysNo);
        if (entry.forwardNumber.isEmpty())
            return true;
        if (entry.id > 0) {
            QString error;
            if (!m_spool.update(entry, &error))
                m_log(QStringLiteral("暂存文件更新失败：") + error);
        }
    }
    if (forward.sql.isEmpty())
        return true;
    return m_db.ExecSQLString(forward).has_value();
}

QString MessageStore::failedAction(const SpoolEntry &entry)
{
    if (entry.kind == SpoolEntry::Kind::Status)
        return QStringLiteral("更新短信状态失败(SysNo=%1)").arg(entry.sysNo);
    if (entry.kind == SpoolEntry::Kind::Report)
        return QStringLiteral("状态报告入库失败(SysNo=%1)").arg(entry.sysNo);
    if (entry.stored)
        return QStringLiteral("转发短信入库失败");
    return QStringLiteral("保存收到的短信失败");
}

bool MessageStore::spoolEntry(SpoolEntry &entry, bool refused, QString *failure)
{
    QString error;
    if (!m_spool.add(entry, &error)) {
        entry.id = 0;
        if (failure)
            *failure = error;
        else
            m_log(QStringLiteral("写入本地暂存失败：") + error);
        return false;
    }
    if (entry.kind == SpoolEntry::Kind::Status)
        m_pendingStatus.insert(entry.sysNo, entry.id);
    if (refused) {
        m_refused.insert(entry.id);
        m_reported.insert(entry.id);
    }
    return true;
}

void MessageStore::removeEntry(qint64 id)
{
    const SpoolEntry entry = m_spool.entries().value(id);
    QString error;
    if (!m_spool.remove(id, &error)) {
        m_log(QStringLiteral("删除本地暂存失败：") + error);
        return;
    }
    if (entry.kind == SpoolEntry::Kind::Status && m_pendingStatus.value(entry.sysNo) == id)
        m_pendingStatus.remove(entry.sysNo);
    m_refused.remove(id);
    m_reported.remove(id);
}

// Writes out the spool in the order it was filled. Stops at a lost connection; an entry the
// database refuses stays in the spool, is reported once and is tried again later.
bool MessageStore::replay(bool retryRefused)
{
    const QString key = targetKey();
    int received = 0;
    int statuses = 0;
    int reports = 0;
    bool complete = true;
    const QList<qint64> ids = m_spool.entries().keys();
    for (qint64 id : ids) {
        if (!m_db.isOpen()) {
            complete = false;
            break;
        }
        SpoolEntry entry = m_spool.entries().value(id);
        if (entry.kind != SpoolEntry::Kind::Received && entry.target != key)
            continue;
        if (m_refused.contains(id) && !retryRefused) {
            complete = false;
            continue;
        }
        if (!apply(entry)) {
            if (m_db.lastFailureInDoubt() && !entry.inDoubt) {
                entry.inDoubt = true;
                QString error;
                if (!m_spool.update(entry, &error))
                    m_log(QStringLiteral("暂存文件更新失败：") + error);
            }
            if (m_db.lastFailureLostConnection()) {
                reportFailure(failedAction(entry));
                complete = false;
                break;
            }
            const QString reason = m_db.lastError();
            if (refusedForContent(entry) && quarantineEntry(entry, reason)) {
                removeEntry(id);
                continue;
            }
            complete = false;
            m_refused.insert(id);
            if (!m_reported.contains(id))
                reportFailure(failedAction(entry) + QStringLiteral("(保留在本地暂存中)"));
            m_reported.insert(id);
            continue;
        }
        removeEntry(id);
        ++(entry.kind == SpoolEntry::Kind::Status           ? statuses
                   : entry.kind == SpoolEntry::Kind::Report ? reports
                                                            : received);
    }
    if (received > 0)
        m_log(QStringLiteral("已将本地暂存的%1条短信存入数据库……").arg(received));
    if (statuses > 0)
        m_log(QStringLiteral("已补写%1条短信的发送状态……").arg(statuses));
    if (reports > 0)
        m_log(QStringLiteral("已补写%1条状态报告……").arg(reports));
    return complete;
}
