#include "optouttable.h"

namespace OptOutTable {

QString probe()
{
    return QStringLiteral("select Number from smsoptout where 1=0");
}

QStringList create(ConnectionString::Kind kind)
{
    using Kind = ConnectionString::Kind;
    switch (kind) {
    case Kind::PostgreSQL:
        return {QStringLiteral("CREATE TABLE smsoptout (Number VARCHAR(32) PRIMARY KEY, Since "
                               "TIMESTAMP(0), Keyword TEXT, Port TEXT)")};
    case Kind::MySQL:
        return {QStringLiteral("CREATE TABLE smsoptout (Number VARCHAR(32) NOT NULL PRIMARY KEY, "
                               "Since DATETIME, Keyword VARCHAR(64), Port VARCHAR(16)) ENGINE = "
                               "InnoDB DEFAULT CHARSET = utf8mb4")};
    default:
        return {QStringLiteral("CREATE TABLE smsoptout (Number TEXT PRIMARY KEY, Since TEXT, "
                               "Keyword TEXT, Port TEXT)")};
    }
}

} // namespace OptOutTable
