#pragma once

#include <QDateTime>
#include <QString>

// One number on the opt-out list, as the list's table holds it and front ends show it.
struct OptOutEntry
{
    QString number;
    QDateTime since;
    QString keyword;
    QString port;
};
