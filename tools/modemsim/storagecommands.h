#pragma once

#include <QByteArrayList>

struct AtCommand;
class CommandTable;
class SimModem;

// The messages on the SIM (or in the modem's own memory): +CPMS, +CMGR, +CMGL and +CMGD.
class StorageCommands
{
public:
    static void addTo(CommandTable &table, SimModem &modem);

private:
    static QByteArray selectStorage(SimModem &m, const AtCommand &c, QByteArrayList *lines);
    static QByteArray read(SimModem &m, const AtCommand &c, QByteArrayList *lines);
    static QByteArray list(SimModem &m, const AtCommand &c, QByteArrayList *lines);
    static QByteArray remove(SimModem &m, const AtCommand &c);
};
