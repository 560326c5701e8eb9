#pragma once

class CommandTable;
class SimModem;

// How messages are sent and announced: PDU or text mode, the character set, the new-message
// indications of +CNMI, the +CSMS service and +CMGS itself.
class SmsCommands
{
public:
    static void addTo(CommandTable &table, SimModem &modem);

private:
    static void addSend(CommandTable &table, SimModem &modem);
};
