#pragma once

#include "sqlstatement.h"

#include <QString>

class QDateTime;
class QSqlDriver;
struct QueuedMessage;

// Every statement the gateway runs on its tables. Values from messages, rows and modems are
// bound as parameters, never spliced into the text: a quote, a backslash or a lone UTF-16
// surrogate in a message can never end a literal early. literal() writes a statement out with
// its values as the driver's own literals, which for ordinary values is exactly the classic
// statement text.
class Statements
{
public:
    // driver may be null (no connection yet): values are then quoted as standard SQL does.
    explicit Statements(const QSqlDriver *driver) : m_driver(driver) { }

    static QString loadPending() { return QStringLiteral("select * from SMS where Status=0"); }

    // The shared queue. Each gateway loads only the oldest rows it can send soon, and a row is
    // its own only once the conditional update from 0 to 1 changed it (one affected row).
    static QString loadPendingShare(int limit, int offset);
    static SqlStatement claim(const QString &sysNo, const QString &handleTime,
                              const QString &gateway);
    // A claimed row that was never handed to a modem goes back to the queue.
    static SqlStatement release(const QString &sysNo, const QString &gateway);
    // Rows at 1 for each gateway that claimed them: in flight, or left by a gateway that died.
    static QString handedByGateway()
    {
        return QStringLiteral("select Gateway, count(*) from SMS where Status=1 and Gateway is "
                              "not null group by Gateway order by Gateway");
    }
    static QString probeGatewayColumn()
    {
        return QStringLiteral("select Gateway from SMS where 1=0");
    }
    static QString addGatewayColumn()
    {
        return QStringLiteral("alter table SMS add Gateway varchar(64)");
    }
    // "update SMS set status=1,HandleTime='2026-12-06 04:47:10' where SysNo=17"
    static SqlStatement updateStatus(const QueuedMessage &message, const QString &handleTime);
    static SqlStatement insertReceived(const QString &sender, const QString &text,
                                       const QString &convertedTime);
    static SqlStatement insertForward(const QString &forwardNumber, const QString &sender,
                                      const QString &text);
    // What a forwarded message says.
    static QString forwardText(const QString &sender, const QString &text);
    static SqlStatement insertTest(const QString &number, const QString &text);
    // One delivery report; status is the report's TP-ST.
    static SqlStatement insertReport(const QString &sysNo, const QString &number, int status,
                                     const QString &deliveryTime, const QString &reportTime);
    // How many rows of smsrecv or SMS hold this number and text; table is one of the two
    // names, never a value from outside.
    static SqlStatement countMatching(const QString &table, const QString &number,
                                      const QString &text);

    // Rows at 1 whose HandleTime is before this time: their outcome has been unknown since.
    static SqlStatement countHandedBefore(const QString &handleTime);
    // The queue as the console shows it, read at the supervision tick. Rows at 0 and at 1:
    // Status, how many, the lowest SysNo.
    static SqlStatement queueCounts();
    // The newest row's SysNo, whatever its status.
    static SqlStatement newestRow() { return {QStringLiteral("select max(SysNo) from SMS")}; }
    // Rows at -1 since each of the two times: the longer span first.
    static SqlStatement failedSince(const QString &dayAgo, const QString &hourAgo);
    // The oldest rows at 1 since before this time: SysNo, CellNumber, HandleTime and, on a
    // shared queue, the claiming Gateway.
    static SqlStatement handedBefore(const QString &handleTime, int limit, bool withGateway);
    // A row at 1 back to 0, only while it is still at 1 and, with gateway set, only while it is
    // that gateway's claim.
    static SqlStatement requeue(qint64 sysNo, const QString &gateway);
    // The server's own version in one text; driverType is QSqlDriver::DbmsType.
    static SqlStatement serverVersion(int driverType);

    // The keys of smsrecv rows holding this message, given the time its row was given; the
    // newest first.
    static SqlStatement findReceived(const QString &number, const QString &text,
                                     const QString &handleTime);

    // The statement with each value written as this driver's literal, for traces and tests.
    QString literal(const SqlStatement &statement) const;

    // A text literal: 'it''s'.
    QString text(const QString &value) const;
    // A whole number as it stands, anything else as a text literal.
    QString number(const QString &value) const;

    // A text bound as such: an empty value is an empty text, not NULL.
    static QVariant textValue(const QString &value);
    // A key bound as a whole number when it is one, as a text otherwise.
    static QVariant keyValue(const QString &value);

    // Local time as the tables hold it: yyyy-MM-dd HH:mm:ss.
    static QString timeText(const QDateTime &time);
    // The network's time stamp "yyMMddhhmmss..." as "20yy-MM-dd hh:mm:ss", by position
    // alone; missing characters stay empty.
    static QString ConvertTimeStamp(const QString &stamp);

private:
    const QSqlDriver *m_driver;
};
