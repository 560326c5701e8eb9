#include "messagelookup.h"

#include "dbhelper.h"

namespace {

// The newest report wins: a pending report may be followed by the final one.
void addReport(DBHelper &db, StoredMessage &m)
{
    const auto rows = db.readRows({QStringLiteral("select Status, ReportTime from smsreport where "
                                                  "SysNo=? order by ReportTime desc"),
                                   {m.id}});
    // A database made before reports were kept has no smsreport: no report then.
    if (!rows || rows->isEmpty())
        return;
    m.reportStatus = rows->first().value(0).toInt();
    m.reportAt = MessageLookup::timeValue(rows->first().value(1));
}

} // namespace

QDateTime MessageLookup::timeValue(const QString &text)
{
    if (text.isEmpty())
        return {};
    QDateTime t = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!t.isValid())
        t = QDateTime::fromString(text, Qt::ISODate);
    return t;
}

std::optional<QStringList> MessageLookup::readRow(qint64 id, QString *error)
{
    constexpr qint64 RecheckMs = 60000;
    const QString select = QStringLiteral("select SysNo, CellNumber, SMSContent, Status, "
                                          "HandleTime%1 from SMS where SysNo=?");
    const bool reason = !m_noReason.isValid() || m_noReason.hasExpired(RecheckMs);
    auto rows = m_db.readRows({select.arg(reason ? QStringLiteral(", Reason") : QString()), {id}});
    if (!rows && reason && m_db.isOpen()) {
        // A table without the optional column: read without it.
        rows = m_db.readRows({select.arg(QString()), {id}});
        if (rows)
            m_noReason.start();
    } else if (rows && reason) {
        m_noReason.invalidate();
    }
    if (!rows) {
        *error = m_db.lastError();
        return std::nullopt;
    }
    return rows->isEmpty() ? QStringList() : rows->first();
}

std::optional<std::optional<StoredMessage>> MessageLookup::message(qint64 id, QString *error)
{
    const auto row = readRow(id, error);
    if (!row)
        return std::nullopt;
    if (row->isEmpty())
        return std::optional<StoredMessage>();
    const QStringList &r = *row;
    StoredMessage m;
    m.id = id;
    m.number = r.value(1);
    m.text = r.value(2);
    m.status = r.value(3).toInt();
    m.handledAt = timeValue(r.value(4));
    m.reason = r.value(5);
    addReport(m_db, m);
    return std::optional<StoredMessage>(m);
}

std::optional<QList<ReceivedRow>> MessageLookup::received(qint64 after, int limit, QString *error)
{
    const auto rows = m_db.readRows(
            {QStringLiteral("select SysNo, cellnumber, smscontent, HandleTime from smsrecv where "
                            "SysNo>? order by SysNo limit ")
                     + QString::number(qMax(1, limit)),
             {after}});
    if (!rows) {
        *error = m_db.lastError();
        return std::nullopt;
    }
    QList<ReceivedRow> out;
    out.reserve(rows->size());
    for (const QStringList &r : *rows)
        out.append({r.value(0).toLongLong(), r.value(1), r.value(2), timeValue(r.value(3))});
    return out;
}
