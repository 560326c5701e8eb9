#pragma once

#include "storage/connectionstring.h"

#include <QString>
#include <QStringList>

// The table of numbers that asked for no more messages: smsoptout(Number, Since, Keyword,
// Port), one row a number in its canonical form, in each engine's own words.
namespace OptOutTable {

inline QString name()
{
    return QStringLiteral("smsoptout");
}
// Fails only when the table is not there.
QString probe();
QStringList create(ConnectionString::Kind kind);

} // namespace OptOutTable
