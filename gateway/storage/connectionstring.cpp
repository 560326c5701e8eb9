#include "connectionstring.h"

#include <QList>
#include <QPair>

#include <algorithm>

namespace {

using Pairs = QList<QPair<QString, QString>>;

// Splits "a=1; b='x;y'" into its pairs. ADO allows a value in quotes, a doubled quote
// standing for one.
Pairs splitPairs(const QString &text)
{
    Pairs pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A piece without "=": ignored, as ADO ignores empty pieces.
            if (semi < 0)
                break;
            i = semi + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        qsizetype j = eq + 1;
        while (j < n && text.at(j) == QLatin1Char(' '))
            ++j;
        QString value;
        if (j < n && (text.at(j) == QLatin1Char('"') || text.at(j) == QLatin1Char('\''))) {
            const QChar quote = text.at(j++);
            while (j < n) {
                if (text.at(j) == quote) {
                    if (j + 1 < n && text.at(j + 1) == quote) {
                        value += quote;
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text.at(j++);
            }
            const qsizetype end = text.indexOf(QLatin1Char(';'), j);
            i = end < 0 ? n : end + 1;
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), j);
            value = text.mid(j, (end < 0 ? n : end) - j).trimmed();
            i = end < 0 ? n : end + 1;
        }
        if (!key.isEmpty())
            pairs.append({key, value});
    }
    return pairs;
}

QString valueOf(const Pairs &pairs, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        for (const auto &p : pairs) {
            if (p.first.compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
                return p.second;
        }
    }
    return {};
}

bool isKey(const QString &key, std::initializer_list<const char *> keys)
{
    for (const char *k : keys) {
        if (key.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool readSqlite(const Pairs &pairs, ConnectionString &cs, QString *error)
{
    cs.kind = ConnectionString::Kind::SQLite;
    cs.driver = QStringLiteral("QSQLITE");
    cs.databaseName = valueOf(pairs, {"Data Source", "DataSource", "Database"});
    if (cs.databaseName.isEmpty()) {
        *error = QStringLiteral("连接字符串缺少 Data Source（SQLite 数据库文件）。");
        return false;
    }
    return true;
}

bool readServer(const Pairs &pairs, bool postgres, ConnectionString &cs, QString *error)
{
    cs.kind = postgres ? ConnectionString::Kind::PostgreSQL : ConnectionString::Kind::MySQL;
    cs.driver = postgres ? QStringLiteral("QPSQL") : QStringLiteral("QMYSQL");
    cs.host = valueOf(pairs, {"Data Source", "DataSource", "Server", "Host"});
    cs.databaseName = valueOf(pairs, {"Initial Catalog", "Database"});
    const QString port = valueOf(pairs, {"Port"});
    if (!port.isEmpty()) {
        bool ok = false;
        cs.port = port.toInt(&ok);
        if (!ok || cs.port <= 0 || cs.port > 65535) {
            *error = QStringLiteral("连接字符串中的端口“%1”无效。").arg(port);
            return false;
        }
    }
    if (cs.databaseName.isEmpty()) {
        *error = QStringLiteral("连接字符串缺少 Initial Catalog（数据库名）。");
        return false;
    }
    return true;
}

// The rest goes to the driver manager as it stands. Qt prefixes a string without DRIVER= or
// SERVER= with "DSN=", so a DSN key is moved to the front without its name.
bool readOdbc(const Pairs &pairs, ConnectionString &cs, QString *error)
{
    cs.kind = ConnectionString::Kind::Odbc;
    cs.driver = QStringLiteral("QODBC");
    QStringList rest;
    QString dsn;
    for (const auto &p : pairs) {
        if (isKey(p.first, {"Provider", "User Id", "UserId", "User", "UID", "Password", "PWD"}))
            continue;
        if (isKey(p.first, {"DSN"}) && dsn.isEmpty()) {
            dsn = p.second;
            continue;
        }
        QString value = p.second;
        if (value.contains(QLatin1Char(';')) && !value.startsWith(QLatin1Char('{')))
            value = QLatin1Char('{') + value + QLatin1Char('}');
        rest << p.first + QLatin1Char('=') + value;
    }
    const bool direct = std::any_of(rest.cbegin(), rest.cend(), [](const QString &pair) {
        return pair.startsWith(QLatin1String("DRIVER="), Qt::CaseInsensitive)
                || pair.startsWith(QLatin1String("SERVER="), Qt::CaseInsensitive)
                || pair.startsWith(QLatin1String("FILEDSN="), Qt::CaseInsensitive);
    });
    if (!dsn.isEmpty())
        rest.prepend(direct ? QStringLiteral("DSN=") + dsn : dsn);
    cs.databaseName = rest.join(QLatin1Char(';'));
    if (cs.databaseName.isEmpty()) {
        *error = QStringLiteral("ODBC 连接字符串为空，需要 DSN=... 或 Driver={...};...。");
        return false;
    }
    return true;
}

} // namespace

bool ConnectionString::parse(const QString &text, ConnectionString *out, QString *error)
{
    const Pairs pairs = splitPairs(text);
    // Without a Provider key ADO hands the string to ODBC, and so do we.
    QString provider = valueOf(pairs, {"Provider"});
    if (provider.isEmpty())
        provider = QStringLiteral("MSDASQL");

    ConnectionString cs;
    cs.user = valueOf(pairs, {"User Id", "UserId", "User", "UID"});
    cs.password = valueOf(pairs, {"Password", "PWD"});

    bool ok = false;
    if (provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive)
        || provider.startsWith(QLatin1String("Microsoft.ACE.OLEDB"), Qt::CaseInsensitive)) {
        *error = QStringLiteral(
                         "数据库提供程序%1（Access 数据库）在 Linux 上不可用。请在 Config.ini 的 "
                         "[DBCon] ConSTR 中改用 Provider=SQLite; Data Source=<数据库文件>，"
                         "例如程序目录下的 DataBase/SMS.db。")
                         .arg(provider);
    } else if (isKey(provider, {"SQLite", "SQLite3"})) {
        ok = readSqlite(pairs, cs, error);
    } else if (isKey(provider, {"PostgreSQL", "PgSQL", "Postgres"})) {
        ok = readServer(pairs, true, cs, error);
    } else if (isKey(provider, {"MySQL", "MariaDB"})) {
        ok = readServer(pairs, false, cs, error);
    } else if (isKey(provider, {"MSDASQL", "MSDASQL.1", "ODBC"})) {
        ok = readOdbc(pairs, cs, error);
    } else {
        *error = QStringLiteral("不支持的数据库提供程序“%1”。可用的有 SQLite、PostgreSQL、MySQL、"
                                "MariaDB 和 MSDASQL（ODBC）。")
                         .arg(provider);
    }
    if (ok)
        *out = cs;
    return ok;
}

QString ConnectionString::connectOptions(int timeoutSeconds) const
{
    const QString timeout = QString::number(timeoutSeconds);
    switch (kind) {
    case Kind::SQLite:
        // Applications write while the gateway runs; wait for their lock rather than fail.
        return QStringLiteral("QSQLITE_BUSY_TIMEOUT=") + timeout + QStringLiteral("000");
    case Kind::PostgreSQL:
        return QStringLiteral("connect_timeout=") + timeout;
    case Kind::MySQL:
        // Affected rows count the rows matched, as every other engine counts them.
        return QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=") + timeout
                + QStringLiteral(";CLIENT_FOUND_ROWS");
    case Kind::Odbc:
        // Qt always connects with SQL_DRIVER_NOPROMPT, so no driver dialog ever shows.
        return QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=") + timeout
                + QStringLiteral(";SQL_ATTR_CONNECTION_TIMEOUT=") + timeout;
    }
    return {};
}
