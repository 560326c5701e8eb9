#include "queuedrowreader.h"

#include "policytime.h"

#include <QSqlQuery>

namespace {

// Only blanks (spaces) are removed around values, as the rows were always read.
QString trimmedOfBlanks(const QString &v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && v.at(b) == QLatin1Char(' '))
        ++b;
    while (e > b && v.at(e - 1) == QLatin1Char(' '))
        --e;
    return (b == 0 && e == v.size()) ? v : v.mid(b, e - b);
}

} // namespace

QueuedRowReader::QueuedRowReader(const QSqlRecord &record)
    : m_record(record),
      m_sysNo(record.indexOf(QStringLiteral("SysNo"))),
      m_cell(record.indexOf(QStringLiteral("CellNumber"))),
      m_content(record.indexOf(QStringLiteral("SMSContent"))),
      m_status(record.indexOf(QStringLiteral("Status"))),
      m_priority(record.indexOf(QStringLiteral("Priority"))),
      m_sendAfter(record.indexOf(QStringLiteral("SendAfter"))),
      m_validUntil(record.indexOf(QStringLiteral("ValidUntil")))
{
}

QueuedMessage QueuedRowReader::read(const QSqlQuery &q) const
{
    QString invalidTime;
    const auto time = [&](int c) {
        if (c < 0)
            return QDateTime();
        const QVariant value = q.value(c);
        const std::optional<QDateTime> t = PolicyTime::fromValue(value);
        if (!t)
            invalidTime = m_record.fieldName(c) + QLatin1Char('=') + value.toString();
        return t.value_or(QDateTime());
    };
    const auto text = [&q](int c) { return trimmedOfBlanks(q.value(c).toString()); };
    const QDateTime sendAfter = time(m_sendAfter);
    const QDateTime validUntil = time(m_validUntil);
    return {text(m_sysNo),
            text(m_cell),
            text(m_content),
            RowStatus(q.value(m_status).toInt()),
            false,
            m_priority < 0 ? 0 : q.value(m_priority).toInt(),
            sendAfter,
            validUntil,
            invalidTime};
}
