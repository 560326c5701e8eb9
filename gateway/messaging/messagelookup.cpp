#include "messagelookup.h"

#include "storage/dbhelper.h"

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

namespace {

// "yyyy-MM-dd HH:mm:ss" (or with a "T"), optionally with fractions of a second, read by hand:
// QDateTime::fromString with a format costs a hundred times more, and one inbox read has a
// thousand of these. An invalid QDateTime when the text has another form.
QDateTime plainTime(const QString &text)
{
    if (text.size() < 19 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-')
        || (text.at(10) != QLatin1Char(' ') && text.at(10) != QLatin1Char('T'))
        || text.at(13) != QLatin1Char(':') || text.at(16) != QLatin1Char(':'))
        return {};
    const auto number = [&text](qsizetype at, qsizetype digits, int *out) {
        int v = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            const QChar c = text.at(i);
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            v = v * 10 + (c.unicode() - '0');
        }
        *out = v;
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
    if (!number(0, 4, &y) || !number(5, 2, &mo) || !number(8, 2, &d) || !number(11, 2, &h)
        || !number(14, 2, &mi) || !number(17, 2, &sec))
        return {};
    if (text.size() > 19) {
        // Fractions only; a zone or anything else goes to the full parser.
        const qsizetype digits = text.size() - 20;
        if (text.at(19) != QLatin1Char('.') || digits < 1 || digits > 9
            || !number(20, qMin<qsizetype>(digits, 3), &ms))
            return {};
        for (qsizetype i = digits; i < 3; ++i)
            ms *= 10;
        int rest = 0;
        if (digits > 3 && !number(23, digits - 3, &rest))
            return {};
    }
    const QDate date(y, mo, d);
    const QTime time(h, mi, sec, ms);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

} // namespace

QDateTime MessageLookup::timeValue(const QString &text)
{
    if (text.isEmpty())
        return {};
    if (const QDateTime plain = plainTime(text); plain.isValid())
        return plain;
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
