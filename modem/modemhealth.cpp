// Signal and registration of an open modem: read on request without getting in the way of
// messages, and followed through +CREG reports.
#include "modem.h"

namespace {

bool registeredStat(const QString &stat)
{
    return stat == QLatin1String("1") || stat == QLatin1String("5");
}

// The <stat> of an answer to AT+CREG? ("+CREG: <n>,<stat>[,...]"), also when a +CREG report
// ("+CREG: <stat>[,<lac>,<ci>]") was taken for the answer because it came in the middle.
QByteArray statOfAnswer(const QByteArray &line)
{
    const QByteArrayList p = AtResponse::parameters(line);
    if (p.size() == 1)
        return p[0];
    const qsizetype comma = line.indexOf(',');
    if (p.size() >= 2 && comma >= 0 && line.mid(comma + 1).trimmed().startsWith('"'))
        return p[0];
    return p.value(1);
}

} // namespace

bool Modem::isRegistered() const
{
    return registeredStat(m_network.registration);
}

void Modem::refreshHealth()
{
    if (!isOpen() || m_sending || !m_channel->isIdle())
        return;
    queueHealthQueries();
}

void Modem::queueHealthQueries()
{
    if (!m_channel)
        return;
    AtCommand csq;
    csq.text = "AT+CSQ";
    csq.prefixes = {"+CSQ:"};
    csq.timeoutMs = m_settings.commandMs;
    m_channel->send(csq, [this](const AtResult &r) {
        if (r.ok() && !r.lines.isEmpty())
            setSignal(QString::fromLatin1(r.lines[0].mid(5)).remove(QLatin1Char(' ')));
    });
    AtCommand creg = csq;
    creg.text = "AT+CREG?";
    creg.prefixes = {"+CREG:"};
    m_channel->send(creg, [this](const AtResult &r) {
        if (r.ok() && !r.lines.isEmpty())
            setRegistration(statOfAnswer(r.lines[0]));
    });
}

void Modem::setSignal(const QString &signal)
{
    if (signal == m_network.signal)
        return;
    m_network.signal = signal;
    Q_EMIT healthChanged();
}

void Modem::setRegistration(const QByteArray &stat)
{
    const QString value = QString::fromLatin1(stat.trimmed());
    if (value.isEmpty() || value == m_network.registration)
        return;
    // Unknown before the first answer counts as registered: only a loss is news then.
    const bool was = m_network.registration.isEmpty() || isRegistered();
    m_network.registration = value;
    const bool now = isRegistered();
    Q_EMIT healthChanged();
    if (now && !was)
        refreshNetworkStatus(); // the operator may have changed with the network
    if (now != was)
        Q_EMIT registrationChanged(now);
}
