#pragma once

#include "storage/connectionstring.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class DBHelper;

// What a database made by an older version of the gateway lacks, and the statements that add
// it in its engine's own words. Each piece is looked for on its own, so a database that has
// some of them gets only the rest, and one that has all of them gets nothing.
class SchemaUpgrade
{
public:
    struct Piece
    {
        QString name; // what the operator is told, e.g. "表smsreport"
        QStringList statements;
        // Only the sending policy uses it: a start without it is not worth a line in the log.
        bool optional = false;
    };

    // The channel the PostgreSQL trigger notifies when a row waits to be sent.
    static QString channel() { return QStringLiteral("velmora_sms"); }
    // The command that adds what is missing, as the operator types it.
    static QString command(const QString &programDir);

    // db must hold an open connection.
    explicit SchemaUpgrade(DBHelper &db);

    // False when the engine behind the connection cannot be told (ODBC); *error says so.
    bool supported(QString *error) const;
    // nullopt when the database could not be asked; *error then says why.
    std::optional<QList<Piece>> missing(QString *error);
    // Adds one piece: all of its statements or, where the engine rolls back its changes to
    // tables, none.
    bool add(const Piece &piece, QString *error);

    // The one line a start logs when something it needs is missing; empty when nothing is.
    static QString notice(const QList<Piece> &missing, const QString &programDir);

private:
    // A probe that fails only because what it reads is not there; nullopt when the database
    // itself failed.
    std::optional<bool> has(const QString &probe, QString *error);
    std::optional<bool> hasTrigger(QString *error);
    // The policy's columns SMS lacks, each a piece of its own.
    bool addPolicyColumns(QList<Piece> &pieces, QString *error);

    DBHelper &m_db;
    ConnectionString::Kind m_kind = ConnectionString::Kind::Odbc;
};
