#include "queueclaims.h"

#include "storage/dbhelper.h"
#include "storage/queuedmessage.h"
#include "storage/statements.h"

#include "common/clock.h"

QueueClaims::QueueClaims(DBHelper &db, const Clock &clock, Log log)
    : m_db(db), m_clock(clock), m_log(std::move(log))
{ }

bool QueueClaims::tableReady(QString *error)
{
    if (m_db.ExecSQLString(Statements::probeGatewayColumn()))
        return true;
    *error = QStringLiteral("配置了GatewayName，但表SMS没有Gateway列，不能与其他网关共用队列。"
                            "请先在数据库中执行：%1")
                     .arg(Statements::addGatewayColumn());
    return false;
}

QueueClaims::Result QueueClaims::claim(const QueuedMessage &message, const QString &gateway)
{
    const auto changed = m_db.ExecSQLString(
            Statements::claim(message.SysNo, Statements::timeText(m_clock.now()), gateway));
    if (!changed) {
        // A lost connection is reported where it is reopened; a refusal is worth a line.
        if (m_db.isOpen())
            m_log(QStringLiteral("认领短信失败(SysNo=%1)：%2")
                          .arg(message.SysNo, m_db.lastError()));
        return Result::Failed;
    }
    if (*changed == 1)
        return Result::Claimed;
    ++m_lost;
    return Result::TakenByAnother;
}

void QueueClaims::release(const QueuedMessage &message, const QString &gateway)
{
    m_db.ExecSQLString(Statements::release(message.SysNo, gateway));
}

QList<std::pair<QString, qint64>> QueueClaims::handedByGateway()
{
    QList<std::pair<QString, qint64>> counts;
    if (const auto rows = m_db.readRows(Statements::handedByGateway())) {
        for (const QStringList &row : *rows)
            counts.append({row.value(0), row.value(1).toLongLong()});
    }
    return counts;
}
