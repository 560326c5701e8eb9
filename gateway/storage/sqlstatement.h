#pragma once

#include <QString>
#include <QVariantList>

// A statement with its values apart: every `?` in sql is bound to the value at its place, so
// no text from a message, a row or a modem is ever read as SQL, whatever code units it holds.
struct SqlStatement
{
    QString sql;
    QVariantList values;

    SqlStatement() = default;
    // A statement without values, run as it stands.
    SqlStatement(QString text) : sql(std::move(text)) { } // NOLINT: implicit on purpose
    SqlStatement(QString text, QVariantList bound) : sql(std::move(text)), values(std::move(bound))
    { }

    bool operator==(const SqlStatement &) const = default;
};
