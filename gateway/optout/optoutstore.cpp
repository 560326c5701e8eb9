#include "optoutstore.h"

#include "storage/dbhelper.h"
#include "storage/policytime.h"
#include "storage/statements.h"

namespace {

// Numbers looked up with one statement; below every engine's limit of bound values.
constexpr qsizetype LookupBatch = 200;

QDateTime timeOf(const QString &text)
{
    return PolicyTime::parse(text).value_or(QDateTime());
}

} // namespace

std::optional<bool> OptOutStore::add(const Entry &e, QString *error)
{
    const auto there = listed({e.number}, error);
    if (!there)
        return std::nullopt;
    if (!there->isEmpty())
        return false;
    const SqlStatement insert{
            QStringLiteral("insert into smsoptout (Number, Since, Keyword, Port) values (?,?,?,?)"),
            {Statements::textValue(e.number), Statements::textValue(Statements::timeText(e.since)),
             Statements::textValue(e.keyword), Statements::textValue(e.port)}};
    if (m_db.ExecSQLString(insert))
        return true;
    // Another gateway may have added it between the look and the insert.
    const QString why = m_db.lastError();
    if (const auto again = listed({e.number}, error); again && !again->isEmpty())
        return false;
    *error = why;
    return std::nullopt;
}

std::optional<int> OptOutStore::remove(const QString &number, QString *error)
{
    const auto n = m_db.ExecSQLString(
            {QStringLiteral("delete from smsoptout where Number=?"), {Statements::textValue(number)}});
    if (!n)
        *error = m_db.lastError();
    return n;
}

std::optional<QList<OptOutStore::Entry>> OptOutStore::list(QString *error)
{
    const auto rows = m_db.readRows(QStringLiteral(
            "select Number, Since, Keyword, Port from smsoptout order by Since, Number"));
    if (!rows) {
        *error = m_db.lastError();
        return std::nullopt;
    }
    QList<Entry> out;
    out.reserve(rows->size());
    for (const QStringList &r : *rows)
        out.append({r.value(0), timeOf(r.value(1)), r.value(2), r.value(3)});
    return out;
}

std::optional<QSet<QString>> OptOutStore::listed(const QStringList &numbers, QString *error)
{
    QSet<QString> found;
    for (qsizetype from = 0; from < numbers.size(); from += LookupBatch) {
        const QStringList batch = numbers.mid(from, LookupBatch);
        SqlStatement s{QStringLiteral("select Number from smsoptout where Number in (")};
        for (qsizetype i = 0; i < batch.size(); ++i) {
            s.sql += i ? QStringLiteral(",?") : QStringLiteral("?");
            s.values.append(Statements::textValue(batch[i]));
        }
        s.sql += QLatin1Char(')');
        const auto rows = m_db.readRows(s);
        if (!rows) {
            *error = m_db.lastError();
            return std::nullopt;
        }
        for (const QStringList &r : *rows)
            found.insert(r.value(0));
    }
    return found;
}
