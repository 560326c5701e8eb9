#pragma once

#include <QString>

class QDateTime;
class QSqlDriver;
struct QueuedMessage;

// The texts of every statement the gateway runs on its tables. Values become literals through
// the driver's own formatting, so a quote or backslash in a message can never end a literal
// early; ordinary values give exactly the classic statement texts.
class Statements
{
public:
    // driver may be null (no connection yet): values are then quoted as standard SQL does.
    explicit Statements(const QSqlDriver *driver) : m_driver(driver) { }

    static QString loadPending() { return QStringLiteral("select * from SMS where Status=0"); }

    // The shared queue. Each gateway loads only the oldest rows it can send soon, and a row is
    // its own only once the conditional update from 0 to 1 changed it (one affected row).
    static QString loadPendingShare(int limit, int offset);
    QString claim(const QString &sysNo, const QString &handleTime, const QString &gateway) const;
    // A claimed row that was never handed to a modem goes back to the queue.
    QString release(const QString &sysNo, const QString &gateway) const;
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
    QString updateStatus(const QueuedMessage &message, const QString &handleTime) const;
    QString insertReceived(const QString &sender, const QString &text,
                           const QString &convertedTime) const;
    QString insertForward(const QString &forwardNumber, const QString &sender,
                          const QString &text) const;
    // What a forwarded message says.
    static QString forwardText(const QString &sender, const QString &text);
    QString insertTest(const QString &number, const QString &text) const;

    // A text literal: 'it''s'.
    QString text(const QString &value) const;
    // A whole number as it stands, anything else as a text literal.
    QString number(const QString &value) const;

    // Local time as the tables hold it: yyyy-MM-dd HH:mm:ss.
    static QString timeText(const QDateTime &time);
    // The network's time stamp "yyMMddhhmmss..." as "20yy-MM-dd hh:mm:ss", by position
    // alone; missing characters stay empty.
    static QString ConvertTimeStamp(const QString &stamp);

private:
    const QSqlDriver *m_driver;
};
