#pragma once

#include <QCommandLineOption>
#include <QString>

class QCommandLineParser;

// --check-database and --upgrade-database: what a database made by an older version lacks,
// told or added, for the database the program folder's Config.ini names. Neither starts the
// service nor takes its lock, so the package can upgrade while an older service still runs.
class DatabaseCommand
{
public:
    // Adds the options to the parser; call before it processes the arguments.
    explicit DatabaseCommand(QCommandLineParser &parser);

    bool requested(const QCommandLineParser &parser) const;
    // The exit status: 0 up to date (or brought up to date), 1 failed, 3 something is missing
    // (--check-database).
    int run(const QCommandLineParser &parser, const QString &programDir) const;

private:
    QCommandLineOption m_check;
    QCommandLineOption m_upgrade;
};
