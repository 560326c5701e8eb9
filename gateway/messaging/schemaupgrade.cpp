#include "schemaupgrade.h"

#include "storage/dbhelper.h"
#include "storage/statements.h"

#include "optout/optouttable.h"
#include "policy/policycolumns.h"

using Kind = ConnectionString::Kind;

namespace {

QStringList reportTable(Kind kind)
{
    switch (kind) {
    case Kind::PostgreSQL:
        return {QStringLiteral("CREATE TABLE smsreport (SysNo BIGINT, CellNumber TEXT, Status "
                               "INTEGER, DeliveryTime TIMESTAMP(0), ReportTime TIMESTAMP(0))"),
                QStringLiteral("CREATE INDEX smsreport_SysNo ON smsreport (SysNo)")};
    case Kind::MySQL:
        return {QStringLiteral("CREATE TABLE smsreport (SysNo BIGINT, CellNumber VARCHAR(255), "
                               "Status INT, DeliveryTime DATETIME, ReportTime DATETIME, INDEX "
                               "smsreport_SysNo (SysNo)) ENGINE = InnoDB DEFAULT CHARSET = "
                               "utf8mb4")};
    default:
        return {QStringLiteral("CREATE TABLE smsreport (SysNo INTEGER, CellNumber TEXT, Status "
                               "INTEGER, DeliveryTime TEXT, ReportTime TEXT)"),
                QStringLiteral("CREATE INDEX smsreport_SysNo ON smsreport (SysNo)")};
    }
}

QString gatewayColumn(Kind kind)
{
    return kind == Kind::MySQL ? QStringLiteral("ALTER TABLE SMS ADD Gateway VARCHAR(64)")
                               : QStringLiteral("ALTER TABLE SMS ADD Gateway TEXT");
}

// Inserted rows, and failed rows put back to 0 to be sent again, wake every gateway listening.
// Notifications with the same payload in one transaction arrive once, so a batch is one wake.
QStringList queueTrigger()
{
    return {QStringLiteral("CREATE OR REPLACE FUNCTION velmora_sms_queued() RETURNS trigger "
                           "LANGUAGE plpgsql AS $$\nBEGIN\n    PERFORM pg_notify('%1', '');\n"
                           "    RETURN NULL;\nEND\n$$")
                    .arg(SchemaUpgrade::channel()),
            QStringLiteral("CREATE TRIGGER sms_queued AFTER INSERT OR UPDATE OF Status ON SMS FOR "
                           "EACH ROW WHEN (NEW.Status = 0) EXECUTE FUNCTION velmora_sms_queued()")};
}

} // namespace

QString SchemaUpgrade::command(const QString &programDir)
{
    return QStringLiteral("velmora-gatewayd --program-dir %1 --upgrade-database").arg(programDir);
}

SchemaUpgrade::SchemaUpgrade(DBHelper &db) : m_db(db)
{
    ConnectionString target;
    QString ignored;
    if (ConnectionString::parse(db.connectionString(), &target, &ignored))
        m_kind = target.kind;
}

bool SchemaUpgrade::supported(QString *error) const
{
    if (m_kind != Kind::Odbc)
        return true;
    *error = QStringLiteral("ODBC连接无法判断数据库的类型，请按DataBase目录中对应的建表脚本核对");
    return false;
}

std::optional<bool> SchemaUpgrade::has(const QString &probe, QString *error)
{
    if (m_db.ExecSQLString(probe))
        return true;
    if (!m_db.isOpen() || m_db.lastFailureLostConnection()) {
        *error = m_db.lastError();
        return std::nullopt;
    }
    return false;
}

std::optional<bool> SchemaUpgrade::hasTrigger(QString *error)
{
    const auto rows = m_db.readRows(QStringLiteral(
            "select count(*) from pg_trigger where tgname = 'sms_queued' and tgrelid = "
            "'sms'::regclass"));
    if (!rows) {
        *error = m_db.lastError();
        return std::nullopt;
    }
    return rows->value(0).value(0).toInt() > 0;
}

bool SchemaUpgrade::addPolicyColumns(QList<Piece> &pieces, QString *error)
{
    const PolicyColumns::Engine engine = m_kind == Kind::PostgreSQL ? PolicyColumns::Engine::PostgreSQL
            : m_kind == Kind::MySQL                                  ? PolicyColumns::Engine::MariaDB
                                                                     : PolicyColumns::Engine::SQLite;
    const QStringList statements = PolicyColumns::addColumns(engine);
    const QStringList columns = PolicyColumns::names();
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const auto present = has(QStringLiteral("select %1 from SMS where 1=0").arg(columns.at(i)),
                                 error);
        if (!present)
            return false;
        if (!*present)
            pieces.append({QStringLiteral("表SMS的%1列").arg(columns.at(i)), {statements.at(i)},
                           true});
    }
    return true;
}

std::optional<QList<SchemaUpgrade::Piece>> SchemaUpgrade::missing(QString *error)
{
    if (!supported(error))
        return std::nullopt;
    QList<Piece> pieces;
    const auto report = has(QStringLiteral("select SysNo from smsreport where 1=0"), error);
    if (!report)
        return std::nullopt;
    if (!*report)
        pieces.append({QStringLiteral("表smsreport"), reportTable(m_kind)});
    const auto gateway = has(Statements::probeGatewayColumn(), error);
    if (!gateway)
        return std::nullopt;
    if (!*gateway)
        pieces.append({QStringLiteral("表SMS的Gateway列"), {gatewayColumn(m_kind)}});
    const auto optOut = has(OptOutTable::probe(), error);
    if (!optOut)
        return std::nullopt;
    if (!*optOut)
        pieces.append({QStringLiteral("表smsoptout"), OptOutTable::create(m_kind)});
    if (m_kind == Kind::PostgreSQL) {
        const auto trigger = hasTrigger(error);
        if (!trigger)
            return std::nullopt;
        if (!*trigger)
            pieces.append({QStringLiteral("表SMS的触发器sms_queued"), queueTrigger()});
    }
    if (!addPolicyColumns(pieces, error))
        return std::nullopt;
    return pieces;
}

bool SchemaUpgrade::add(const Piece &piece, QString *error)
{
    QList<SqlStatement> statements;
    for (const QString &sql : piece.statements)
        statements.append(sql);
    if (m_db.execAll(statements))
        return true;
    *error = m_db.lastError();
    return false;
}

QString SchemaUpgrade::notice(const QList<Piece> &missing, const QString &programDir)
{
    QStringList names;
    for (const Piece &piece : missing) {
        if (!piece.optional)
            names << piece.name;
    }
    if (names.isEmpty())
        return {};
    return QStringLiteral("数据库缺少%1，请停止服务后运行 %2")
            .arg(names.join(QStringLiteral("、")), command(programDir));
}
