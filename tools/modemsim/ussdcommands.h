#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>

class CommandTable;
class SimModem;

// USSD for the simulator: AT+CUSD on the modem's side, and the control command that scripts
// what the network answers ("ussd <port> answer|menu|mode|delay|asked ...").
namespace UssdCommands {

void addTo(CommandTable &table, SimModem &modem);
QString control(SimModem *modem, const QStringList &args, QByteArrayList *data);

} // namespace UssdCommands
