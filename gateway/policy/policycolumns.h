#pragma once

#include "storage/sqlstatement.h"

#include <QString>
#include <QStringList>

class DBHelper;
struct OutgoingMessage;

// The optional columns of SMS: Priority (higher first), SendAfter (not before), ValidUntil (not
// after: the row goes to -1 instead) and Reason (why a row went to -1). Each is used only where
// the table has it; times have the type and format of HandleTime.
struct PolicyColumns
{
    bool priority = false;
    bool sendAfter = false;
    bool validUntil = false;
    bool reason = false;
    // SendAfter is text (SQLite), in whatever form of a time the application wrote.
    bool textTimes = false;

    bool any() const { return priority || sendAfter || validUntil || reason; }

    // Looks at the table once; a column that cannot be read counts as absent.
    static PolicyColumns probe(DBHelper &db);

    enum class Engine { SQLite, PostgreSQL, MariaDB };
    // The engine behind a Qt driver name; SQLite for one it does not know.
    static Engine engineOf(const QString &driverName);
    // The four columns' names, in the order addColumns() adds them.
    static QStringList names();
    // The statements that add the four columns, for the database upgrade command; each one may
    // fail alone when its column is there already.
    static QStringList addColumns(Engine engine);

    // The pending rows that may go now, those of highest priority at the queue's end (it is
    // served from there), of equal priority in the order they came. With a limit, only that
    // many, from the offset-th on.
    SqlStatement loadPending(const QString &now, int limit, int offset) const;
    // Pending rows of a priority above the given one, for a queue loaded before they came or
    // a window of a shared queue that begins below them. With a limit, the highest that many.
    SqlStatement loadAbove(int priority, const QString &now, int limit = 0) const;
    // A pending row that goes to -1 without being sent (expired, rate limited).
    SqlStatement refuse(const QString &sysNo, const QString &handleTime, const QString &why) const;
    // The first of the message's optional fields the table has no column for, by the field's
    // name; empty when the table holds them all.
    QString missingFor(const OutgoingMessage &message) const;
    // The row of a message queued through the gateway, with the optional columns it sets.
    static SqlStatement insert(const OutgoingMessage &message);
    // Why a row that was sent went to -1: the modem's error.
    static SqlStatement noteReason(const QString &sysNo, const QString &why);

private:
    // The condition a pending row meets when it may go now, and the values it takes.
    QString readyFilter() const;
    QVariantList readyValues(const QString &now) const;
};
