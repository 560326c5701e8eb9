#include "smscommands.h"

#include "commandtable.h"
#include "simmodem.h"
#include "textmode.h"

namespace {

QByteArray number(int n)
{
    return QByteArray::number(n);
}

} // namespace

void SmsCommands::addTo(CommandTable &table, SimModem &m)
{
    table.add("+CMGF", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CMGF: " + number(m.m_settings.cmgf));
        else if (c.first == 0 || c.first == 1)
            m.m_settings.cmgf = c.first;
        else
            return Cms::error(Cms::OperationNotAllowed);
        return QByteArray("OK");
    });
    table.add("+CSCS", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append("+CSCS: \"" + m.m_settings.cscs + '"');
        else
            m.m_settings.cscs = c.params.value(0).toUpper();
        return QByteArray("OK");
    });
    table.add("+CNMI", [&m](const AtCommand &c, QByteArrayList *lines) {
        SimSettings &s = m.m_settings;
        if (c.query) {
            lines->append("+CNMI: " + number(s.cnmiMode) + ',' + number(s.cnmiMt) + ",0,0,0");
            return QByteArray("OK");
        }
        const int mt = c.params.value(1).toInt();
        if (c.first < 0 || c.first > 3 || mt < 0 || mt > 3)
            return Cms::error(Cms::OperationNotAllowed);
        if (m.m_reportsStoredOnly && c.params.value(3).toInt() == 1)
            return Cms::error(Cms::OperationNotSupported);
        s.cnmiMode = c.first;
        s.cnmiMt = mt;
        s.cnmiDs = c.params.value(3).toInt();
        return QByteArray("OK");
    });
    table.add("+CSMS", [&m](const AtCommand &c, QByteArrayList *lines) {
        if (c.query)
            lines->append(m.m_direct ? "+CSMS: 1,1,1,1" : "+CSMS: 0,1,1,1");
        return QByteArray("OK");
    });
    table.add("+CSMP", [](const AtCommand &, QByteArrayList *) { return QByteArray("OK"); });
    table.add("+CNMA", [&m](const AtCommand &, QByteArrayList *) {
        ++m.m_acks;
        return QByteArray("OK");
    });
    addSend(table, m);
}

void SmsCommands::addSend(CommandTable &table, SimModem &m)
{
    table.add("+CMGS", [&m](const AtCommand &c, QByteArrayList *) {
        if (c.query || c.params.isEmpty() || c.params[0].isEmpty())
            return Cms::error(Cms::OperationNotAllowed);
        if (m.m_settings.cmgf != 0) {
            m.m_textDestination = TextMode(m.m_settings.cscs).decode(c.params[0]);
            m.promptForText(SimModem::Input::Text);
            return QByteArray("OK");
        }
        bool ok = false;
        m.m_expectedLength = c.params[0].toInt(&ok);
        if (!ok || m.m_expectedLength < 7 || m.m_expectedLength > 164)
            return Cms::error(Cms::InvalidPduParameter);
        m.promptForText(SimModem::Input::Pdu);
        return QByteArray("OK");
    });
}
