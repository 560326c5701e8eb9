#pragma once

#include <QString>

// A database connection string in ADO form ("Provider=SQLite; Data Source=/path/SMS.db"),
// turned into what a Qt SQL driver needs. Keys are matched without regard to case; a value may
// be put in single or double quotes to hold a ";".
struct ConnectionString
{
    enum class Kind { SQLite, PostgreSQL, MySQL, Odbc };

    Kind kind = Kind::SQLite;
    QString driver;       // Qt SQL driver name
    QString databaseName; // file, catalog, or the ODBC connection string
    QString host;
    int port = -1;
    QString user;
    QString password;

    // Parses the text; on failure returns false with a message for the operator in *error.
    static bool parse(const QString &text, ConnectionString *out, QString *error);
    // The driver's connect options: the open waits at most timeoutSeconds, never prompts.
    QString connectOptions(int timeoutSeconds) const;
};
