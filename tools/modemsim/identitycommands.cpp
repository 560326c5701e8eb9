#include "identitycommands.h"

#include "commandtable.h"
#include "simmodem.h"

namespace {

CommandTable::Handler answer(std::function<QByteArray()> line)
{
    return [line](const AtCommand &, QByteArrayList *lines) {
        lines->append(line());
        return QByteArray("OK");
    };
}

} // namespace

void IdentityCommands::addTo(CommandTable &table, SimModem &m)
{
    table.add("+CGMI", answer([] { return QByteArray("Velmora"); }));
    table.add("+CGMM", answer([&m] { return m.m_model.toUtf8(); }));
    table.add("+CGMR", answer([] { return QByteArray("1.0.0"); }));
    // IMEI and IMSI differ by port, so each modem is told apart as real ones are.
    table.add("+CGSN", answer([&m] { return QByteArray::number(860000000000000LL + m.m_port); }));
    table.add("+CIMI", answer([&m] { return QByteArray::number(460000000000000LL + m.m_port); }));
    table.add("+CNUM", answer([&m] { return "+CNUM: \"\",\"" + m.m_number.toUtf8() + "\",145"; }));
}
