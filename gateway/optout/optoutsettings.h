#pragma once

#include "optoutkeywords.h"

#include <QString>
#include <functional>

class IniFile;

// [OptOut] in Config.ini, read at every start:
//   Enabled=1              replies that ask to unsubscribe are honoured (default 0)
//   Keywords=T,TD,退订,STOP,UNSUBSCRIBE
//   OptInKeywords=         replies that undo it (default none)
//   Reply=                 a text sent once to a number that opted out (default none)
//   CountryCode=86         numbers are compared in international form for this country
struct OptOutSettings
{
    bool enabled = false;
    OptOutKeywords keywords;
    OptOutKeywords optInKeywords;
    QString reply;
    QString countryCode;

    static QString defaultKeywords() { return QStringLiteral("T,TD,退订,STOP,UNSUBSCRIBE"); }
    static OptOutSettings read(const IniFile &ini, const std::function<void(const QString &)> &log);
};
