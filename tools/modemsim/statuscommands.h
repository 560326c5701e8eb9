#pragma once

class CommandTable;
class SimModem;

// The state of the SIM, the network and calls: +CPIN, +CSQ, +CREG, +COPS, +CLIP, +CHUP and the
// error format of +CMEE.
class StatusCommands
{
public:
    static void addTo(CommandTable &table, SimModem &modem);

private:
    static void addNetwork(CommandTable &table, SimModem &modem);
};
