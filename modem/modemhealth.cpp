#include "modemhealth.h"

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

ModemHealth::ModemHealth(const ModemSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{ }

void ModemHealth::detach()
{
    m_channel = nullptr;
    m_queriesQueued = 0;
    const bool known = !m_status.signal.isEmpty() || !m_status.registration.isEmpty()
            || !m_status.operatorName.isEmpty();
    m_status = {};
    if (known)
        Q_EMIT healthChanged();
}

bool ModemHealth::isRegistered() const
{
    return registeredStat(m_status.registration);
}

void ModemHealth::refresh()
{
    // Asked at every supervision tick, also while messages go: the queries wait their turn
    // behind them, and only one reading is on its way at a time.
    if (!m_channel || m_channel->isLost() || m_queriesQueued > 0)
        return;
    queueQueries();
}

void ModemHealth::refreshAll()
{
    if (!m_channel || m_channel->queued() > 4)
        return;
    queueQueries();
    AtCommand cops;
    cops.text = "AT+COPS?";
    cops.prefixes = {"+COPS:"};
    cops.timeoutMs = m_settings.commandMs;
    m_channel->send(cops, [this](const AtResult &r) {
        const QByteArrayList p =
                r.lines.isEmpty() ? QByteArrayList() : AtResponse::parameters(r.lines[0]);
        if (r.ok() && p.size() >= 3 && m_status.operatorName != p[2]) {
            m_status.operatorName = QString::fromLatin1(p[2]);
            Q_EMIT healthChanged();
        }
    });
}

void ModemHealth::queueQueries()
{
    AtCommand csq;
    csq.text = "AT+CSQ";
    csq.prefixes = {"+CSQ:"};
    csq.timeoutMs = m_settings.commandMs;
    m_queriesQueued += 2;
    m_channel->send(csq, [this](const AtResult &r) {
        m_queriesQueued = qMax(0, m_queriesQueued - 1);
        if (r.ok() && !r.lines.isEmpty())
            setSignal(QString::fromLatin1(r.lines[0].mid(5)).remove(QLatin1Char(' ')));
    });
    AtCommand creg = csq;
    creg.text = "AT+CREG?";
    creg.prefixes = {"+CREG:"};
    m_channel->send(creg, [this](const AtResult &r) {
        m_queriesQueued = qMax(0, m_queriesQueued - 1);
        if (r.ok() && !r.lines.isEmpty())
            setRegistration(statOfAnswer(r.lines[0]));
    });
}

void ModemHealth::onRegistrationReport(const QByteArray &line)
{
    setRegistration(AtResponse::parameters(line).value(0));
}

void ModemHealth::setSignal(const QString &signal)
{
    if (signal == m_status.signal)
        return;
    m_status.signal = signal;
    Q_EMIT healthChanged();
}

void ModemHealth::setRegistration(const QByteArray &stat)
{
    const QString value = QString::fromLatin1(stat.trimmed());
    if (value.isEmpty() || value == m_status.registration)
        return;
    // Unknown before the first answer counts as registered: only a loss is news then.
    const bool was = m_status.registration.isEmpty() || isRegistered();
    m_status.registration = value;
    const bool now = isRegistered();
    Q_EMIT healthChanged();
    if (now && !was)
        refreshAll(); // the operator may have changed with the network
    if (now != was)
        Q_EMIT registrationChanged(now);
}
