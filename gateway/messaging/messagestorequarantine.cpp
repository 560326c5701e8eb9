// The store's way with what no database will ever take: a PDU that cannot be read and a
// message whose content the table refuses go to the quarantine folder, not round the spool.
#include "messagestore.h"

#include "storage/statements.h"

#include "common/clock.h"

#include <QDateTime>

bool MessageStore::quarantinePdu(const QString &port, const QString &slot, const QString &hex)
{
    const QDateTime now = m_clock.now();
    const QByteArray content = "port=COM" + port.toUtf8() + "\nslot=" + slot.toUtf8()
            + "\ntime=" + Statements::timeText(now).toUtf8() + "\npdu=" + hex.toLatin1() + '\n';
    QString error;
    const QString path =
            m_quarantine.put(QStringLiteral("%1-Com%2.pdu")
                                     .arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss")), port),
                             content, &error);
    if (path.isEmpty()) {
        if (!m_keepReported)
            m_log(QStringLiteral("Com%1口无法解读的短信未能移入隔离文件夹，留在SIM卡上：%2")
                          .arg(port, error));
        m_keepReported = true;
        return false;
    }
    m_log(QStringLiteral("Com%1口收到无法解读的短信，已移入隔离文件：%2").arg(port, path));
    return true;
}

// A refusal is for the content when a plain message of the same kind goes in meanwhile (tried
// in a transaction that is rolled back); a missing table or column refuses that one too.
bool MessageStore::refusedForContent(const SpoolEntry &entry)
{
    if (entry.kind != SpoolEntry::Kind::Received || !m_db.isOpen() || !m_db.beginTransaction())
        return false;
    const QString plain = QStringLiteral("0");
    const QString now = Statements::timeText(m_clock.now());
    const bool accepted =
            m_db.ExecSQLString(entry.stored ? Statements::insertForward(plain, plain, plain)
                                            : Statements::insertReceived(plain, plain, now))
                    .has_value();
    m_db.rollbackTransaction();
    return accepted;
}

bool MessageStore::quarantineEntry(const SpoolEntry &entry, const QString &reason)
{
    QString error;
    const QString path = m_quarantine.put(
            QStringLiteral("%1-received.json")
                    .arg(m_clock.now().toString(QStringLiteral("yyyyMMdd-HHmmss"))),
            Spool::serialize(entry), &error);
    if (path.isEmpty())
        return false;
    m_log(QStringLiteral("数据库拒收短信内容(%1)，已移入隔离文件：%2").arg(reason, path));
    return true;
}
