#pragma once

class CommandTable;
class SimModem;

// Who the modem is: maker, model, firmware, IMEI, IMSI and its own number.
class IdentityCommands
{
public:
    static void addTo(CommandTable &table, SimModem &modem);
};
