#include "databasecommand.h"

#include "common/inifile.h"
#include "common/installlayout.h"
#include "core/settings.h"
#include "messaging/schemaupgrade.h"
#include "storage/dbhelper.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {

void say(const QString &text)
{
    std::fprintf(stdout, "%s\n", qUtf8Printable(text));
    std::fflush(stdout);
}

void fail(const QString &text)
{
    std::fprintf(stderr, "velmora-gatewayd: %s\n", qUtf8Printable(text));
}

int upgrade(SchemaUpgrade &schema, const QList<SchemaUpgrade::Piece> &missing)
{
    for (const SchemaUpgrade::Piece &piece : missing) {
        say(QStringLiteral("-- 添加%1").arg(piece.name));
        for (const QString &statement : piece.statements)
            say(statement + QLatin1Char(';'));
        QString error;
        if (!schema.add(piece, &error)) {
            fail(QStringLiteral("添加%1失败：%2").arg(piece.name, error));
            return 1;
        }
    }
    return 0;
}

} // namespace

DatabaseCommand::DatabaseCommand(QCommandLineParser &parser)
    : m_check(QStringLiteral("check-database"),
              QStringLiteral("List what the configured database lacks (exit status 3 when "
                             "something is missing) and exit.")),
      m_upgrade(QStringLiteral("upgrade-database"),
                QStringLiteral("Add what the configured database lacks, printing each "
                               "statement, and exit."))
{
    parser.addOption(m_check);
    parser.addOption(m_upgrade);
}

bool DatabaseCommand::requested(const QCommandLineParser &parser) const
{
    return parser.isSet(m_check) || parser.isSet(m_upgrade);
}

int DatabaseCommand::run(const QCommandLineParser &parser, const QString &programDir) const
{
    const Settings settings = LoadSettings(IniFile(InstallLayout::configFile(programDir)),
                                           programDir, [](const QString &line) { fail(line); });
    DBHelper db;
    QString error;
    if (!db.OpenConnection(settings.ConnectionString, &error)) {
        fail(QStringLiteral("数据库连接失败：%1").arg(error));
        return 1;
    }
    SchemaUpgrade schema(db);
    const auto missing = schema.missing(&error);
    if (!missing) {
        fail(error);
        return 1;
    }
    if (parser.isSet(m_upgrade))
        return upgrade(schema, *missing);
    for (const SchemaUpgrade::Piece &piece : *missing)
        say(QStringLiteral("缺少%1").arg(piece.name));
    return missing->isEmpty() ? 0 : 3;
}
