#include "storagecommands.h"

#include "commandtable.h"
#include "simmodem.h"
#include "textmode.h"

void StorageCommands::addTo(CommandTable &table, SimModem &m)
{
    table.add("+CPMS", [&m](const AtCommand &c, QByteArrayList *lines) {
        return selectStorage(m, c, lines);
    });
    table.add("+CMGR",
              [&m](const AtCommand &c, QByteArrayList *lines) { return read(m, c, lines); });
    table.add("+CMGL",
              [&m](const AtCommand &c, QByteArrayList *lines) { return list(m, c, lines); });
    table.add("+CMGD", [&m](const AtCommand &c, QByteArrayList *) { return remove(m, c); });
}

QByteArray StorageCommands::selectStorage(SimModem &m, const AtCommand &c, QByteArrayList *lines)
{
    if (!c.query && !c.params.isEmpty())
        m.m_readMe = c.params[0] == "ME";
    const QByteArray used = QByteArray::number(m.readStorage().size());
    const QByteArray cap = QByteArray::number(m.room());
    if (c.query) {
        lines->append("+CPMS: \"SM\"," + used + ',' + cap + ",\"SM\"," + used + ',' + cap
                      + ",\"SM\"," + used + ',' + cap);
        return "OK";
    }
    for (const QByteArray &mem : c.params) {
        if (mem != "SM" && mem != "ME" && mem != "MT")
            return Cms::error(Cms::OperationNotAllowed);
    }
    lines->append("+CPMS: " + used + ',' + cap + ',' + used + ',' + cap + ',' + used + ',' + cap);
    return "OK";
}

QByteArray StorageCommands::read(SimModem &m, const AtCommand &c, QByteArrayList *lines)
{
    const auto it = m.readStorage().find(c.first);
    if (it == m.readStorage().end())
        return Cms::error(Cms::InvalidIndex);
    if (m.m_settings.cmgf == 0) {
        lines->append("+CMGR: " + QByteArray::number(it->status) + ",,"
                      + QByteArray::number(it->pdu.tpduLength));
        lines->append(it->pdu.hex());
    } else {
        lines->append(TextMode(m.m_settings.cscs).entry(c.first, it->status, it->pdu, false));
    }
    it->status = 1;
    return "OK";
}

QByteArray StorageCommands::list(SimModem &m, const AtCommand &c, QByteArrayList *lines)
{
    int wanted = 4;
    if (m.m_settings.cmgf == 1) {
        const QByteArray s = c.params.value(0).toUpper();
        wanted = s == "REC UNREAD" ? 0 : s == "REC READ" ? 1 : s == "ALL" || s.isEmpty() ? 4 : 2;
    } else if (!c.params.isEmpty() && !c.params[0].isEmpty()) {
        wanted = c.first;
    }
    const TextMode text(m.m_settings.cscs);
    for (auto it = m.readStorage().begin(); it != m.readStorage().end(); ++it) {
        if (wanted != 4 && it->status != wanted)
            continue;
        if (m.m_settings.cmgf == 0) {
            lines->append("+CMGL: " + QByteArray::number(it.key()) + ','
                          + QByteArray::number(it->status) + ",,"
                          + QByteArray::number(it->pdu.tpduLength));
            lines->append(it->pdu.hex());
        } else {
            lines->append(text.entry(it.key(), it->status, it->pdu, true));
        }
        it->status = 1;
    }
    return "OK";
}

QByteArray StorageCommands::remove(SimModem &m, const AtCommand &c)
{
    if (c.first < 0 || c.first > m.m_capacity)
        return Cms::error(Cms::InvalidIndex);
    if (c.params.value(1).toInt() == 4)
        m.readStorage().clear();
    else
        m.readStorage().remove(c.first);
    // A freed slot takes the message the network was holding back.
    m.storeHeldBack();
    return "OK";
}
