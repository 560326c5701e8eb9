#include "statuscommands.h"

#include "commandtable.h"
#include "simmodem.h"

namespace {

QByteArray number(int n)
{
    return QByteArray::number(n);
}

} // namespace

void StatusCommands::addTo(CommandTable &table, SimModem &m)
{
    table.add("+CMEE", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CMEE: " + number(m.m_settings.cmee));
        else
            m.m_settings.cmee = c.first;
        return QByteArray("OK");
    });
    table.add("+CPIN", [&m](const AtCommand &, QByteArrayList *lines) {
        if (m.m_simBusyAnswers > 0) {
            --m.m_simBusyAnswers;
            return m.m_settings.cmeError(14);
        }
        if (m.m_simState == SimModem::SimState::Missing)
            return m.m_settings.cmeError(10);
        lines->append(m.m_simState == SimModem::SimState::PinRequired ? "+CPIN: SIM PIN"
                                                                      : "+CPIN: READY");
        return QByteArray("OK");
    });
    table.add("+CFUN", [](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CFUN: 1");
        return QByteArray("OK");
    });
    table.add("+CLIP", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CLIP: " + number(m.m_settings.clip ? 1 : 0) + ",1");
        else
            m.m_settings.clip = c.first == 1;
        return QByteArray("OK");
    });
    table.add("+CHUP", [&m](const AtCommand &, QByteArrayList *) {
        m.m_call.hangUp();
        return QByteArray("OK");
    });
    addNetwork(table, m);
}

void StatusCommands::addNetwork(CommandTable &table, SimModem &m)
{
    table.add("+CSQ", [](const AtCommand &, QByteArrayList *lines) {
        lines->append("+CSQ: 23,99");
        return QByteArray("OK");
    });
    table.add("+CREG", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CREG: " + number(m.m_settings.cregMode) + ','
                          + number(m.m_registration));
        else
            m.m_settings.cregMode = c.first;
        return QByteArray("OK");
    });
    table.add("+CGREG", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CGREG: 0," + number(m.m_registration));
        return QByteArray("OK");
    });
    table.add("+COPS", [](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+COPS: 0,0,\"Velmora Mobile\"");
        return QByteArray("OK");
    });
    table.add("+CSCA", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CSCA: \"" + m.serviceCentre().toUtf8() + "\",145");
        return QByteArray("OK");
    });
}
