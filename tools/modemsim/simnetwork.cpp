#include "simnetwork.h"

#include "pdu/pduencoder.h"
#include "simmodem.h"

#include <QDateTime>

namespace {

QString digitsOf(const QString &number)
{
    QString d;
    for (QChar c : number) {
        if (c.isDigit())
            d.append(c);
    }
    return d;
}

} // namespace

void SimNetwork::add(SimModem *modem)
{
    m_byPort.insert(modem->port(), modem);
}

void SimNetwork::remove(SimModem *modem)
{
    m_byPort.remove(modem->port());
}

SimModem *SimNetwork::byNumber(const QString &number) const
{
    const QString wanted = digitsOf(number);
    if (wanted.isEmpty())
        return nullptr;
    for (SimModem *m : m_byPort) {
        const QString own = digitsOf(m->number());
        // A national number matches the end of an international one.
        if (own == wanted || (wanted.size() >= 7 && own.endsWith(wanted)))
            return m;
    }
    return nullptr;
}

void SimNetwork::submit(SimModem *from, const SmsPdu &submit)
{
    ++m_submittedParts;
    if (SimModem *to = byNumber(submit.address)) {
        const PduEncoder::Encoded deliver = PduEncoder::deliver(
                from->number(), submit.userData, QDateTime::currentDateTime(), to->serviceCentre());
        to->receive(deliver);
        ++m_deliveredParts;
    }
    const QString text = submit.userData.text;
    if (!submit.concat.isValid()) {
        m_submitted[from->port()].append({submit.address, text, 1});
        return;
    }
    const QString key = QStringLiteral("%1/%2/%3/%4")
                                .arg(from->port())
                                .arg(submit.address)
                                .arg(submit.concat.reference)
                                .arg(submit.concat.total);
    Partial &p = m_partial[key];
    p.total = submit.concat.total;
    p.texts.insert(submit.concat.sequence, text);
    if (p.texts.size() < p.total)
        return;
    QString joined;
    for (const QString &t : std::as_const(p.texts))
        joined += t;
    m_submitted[from->port()].append({submit.address, joined, p.total});
    m_partial.remove(key);
}
