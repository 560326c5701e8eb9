#pragma once

#include "queuedmessage.h"

#include <QSqlRecord>

class QSqlQuery;

// How a pending row of SMS becomes a QueuedMessage: where each column stands in the result, and
// what its value becomes (texts trimmed of blanks, times read as the policy reads them).
class QueuedRowReader
{
public:
    explicit QueuedRowReader(const QSqlRecord &record);

    // False when the result lacks a column every row needs.
    bool complete() const { return m_sysNo >= 0 && m_cell >= 0 && m_content >= 0 && m_status >= 0; }
    // The row the query stands on.
    QueuedMessage read(const QSqlQuery &q) const;

private:
    QSqlRecord m_record;
    int m_sysNo;
    int m_cell;
    int m_content;
    int m_status;
    // The optional columns, -1 where the table has none.
    int m_priority;
    int m_sendAfter;
    int m_validUntil;
};
