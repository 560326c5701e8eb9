#pragma once

#include <QList>
#include <QString>

// The check tool's plain words for what a modem and a port report, shared by the check of one
// port and the scan of all of them.
namespace CheckWords {

// "+CSQ" signal ("21,99") as unknown, weak, usable or good.
QString signal(const QString &csq);
// "+CREG" status as words: "home network", "roaming", ...
QString registration(const QString &stat);
// "115200, 9600 or 19200".
QString rates(const QList<int> &rates);
// An open refused for this user's rights, with the usual cure.
QString permissionDenied();

} // namespace CheckWords
