#include "modemcommands.h"

#include "delivercommand.h"
#include "simmodem.h"
#include "simnetwork.h"
#include "ussdcommands.h"

#include <QUrl>

namespace {

bool on(const QStringList &args)
{
    return args.value(2) != QLatin1String("0");
}

QByteArray number(qint64 n)
{
    return QByteArray::number(n);
}

} // namespace

ModemCommands::ModemCommands(SimNetwork *network) : m_network(network)
{
    addDelivery();
    addFaults();
    addBehaviour();
    addReadings();
}

QString ModemCommands::run(const QString &name, SimModem *modem, const QStringList &args,
                           QByteArrayList *data) const
{
    const auto it = m_handlers.constFind(name);
    if (it == m_handlers.constEnd())
        return QStringLiteral("unknown command %1").arg(name);
    return (*it)(modem, args, data);
}

void ModemCommands::addSetter(const QString &name, Setter setter)
{
    add(name, [setter](SimModem *m, const QStringList &args, QByteArrayList *) {
        setter(m, args);
        return QString();
    });
}

void ModemCommands::addDelivery()
{
    add(QStringLiteral("deliver"), &DeliverCommand::deliver);
    add(QStringLiteral("deliverpdu"), [](SimModem *m, const QStringList &args, QByteArrayList *) {
        return DeliverCommand::deliverPdu(m, args);
    });
    addSetter(QStringLiteral("direct"),
              [](SimModem *m, const QStringList &a) { m->setDirect(on(a)); });
    addSetter(QStringLiteral("ring"),
              [](SimModem *m, const QStringList &a) { m->ring(a.value(2)); });
    addSetter(QStringLiteral("urc"), [](SimModem *m, const QStringList &a) {
        m->unsolicited(QUrl::fromPercentEncoding(a.value(2).toUtf8()).toUtf8());
    });
}

void ModemCommands::addFaults()
{
    addSetter(QStringLiteral("failnext"), [](SimModem *m, const QStringList &a) {
        m->failNextSend(a.size() > 2 ? a[2].toInt() : 500, a.size() > 3 ? a[3].toInt() : 1);
    });
    addSetter(QStringLiteral("memfull"),
              [](SimModem *m, const QStringList &a) { m->setReportFullStore(on(a)); });
    addSetter(QStringLiteral("silent"),
              [](SimModem *m, const QStringList &a) { m->setSilent(on(a)); });
    addSetter(QStringLiteral("vanish"), [](SimModem *m, const QStringList &) { m->vanish(); });
    add(QStringLiteral("plug"), [](SimModem *m, const QStringList &, QByteArrayList *) {
        QString error;
        return m->plug(&error) ? QString() : error;
    });
    addSetter(QStringLiteral("reset"), [](SimModem *m, const QStringList &) { m->reset(); });
    addSetter(QStringLiteral("restart"), [](SimModem *m, const QStringList &a) {
        m->restart(a.size() > 2 ? a[2].toInt() : 500);
    });
    addSetter(QStringLiteral("simbusy"),
              [](SimModem *m, const QStringList &a) { m->setSimBusy(a.value(2).toInt()); });
    add(QStringLiteral("sim"), [](SimModem *m, const QStringList &a, QByteArrayList *) {
        const QString state = a.value(2);
        if (state == QLatin1String("pin"))
            m->setSimState(SimModem::SimState::PinRequired);
        else if (state == QLatin1String("missing"))
            m->setSimState(SimModem::SimState::Missing);
        else if (state == QLatin1String("ready"))
            m->setSimState(SimModem::SimState::Ready);
        else
            return QStringLiteral("usage: sim <port> ready|pin|missing");
        return QString();
    });
    add(QStringLiteral("ussd"), &UssdCommands::control);
    addSetter(QStringLiteral("network"),
              [](SimModem *m, const QStringList &a) { m->setRegistered(on(a)); });
}

void ModemCommands::addBehaviour()
{
    addSetter(QStringLiteral("reportsstored"),
              [](SimModem *m, const QStringList &a) { m->setReportsStoredOnly(on(a)); });
    addSetter(QStringLiteral("reportdelay"),
              [](SimModem *m, const QStringList &a) { m->setReportDelay(a.value(2).toInt()); });
    addSetter(QStringLiteral("delay"),
              [](SimModem *m, const QStringList &a) { m->setSendDelay(a.value(2).toInt()); });
}

void ModemCommands::addReadings()
{
    add(QStringLiteral("number"), [](SimModem *m, const QStringList &, QByteArrayList *data) {
        data->append(m->number().toUtf8());
        return QString();
    });
    add(QStringLiteral("sent"), [this](SimModem *m, const QStringList &, QByteArrayList *data) {
        for (const SimNetwork::Submission &s : m_network->submissions(m->port()))
            data->append(s.destination.toUtf8() + ' ' + QUrl::toPercentEncoding(s.text) + ' '
                         + number(s.parts));
        return QString();
    });
    addSetter(QStringLiteral("clearsent"),
              [this](SimModem *m, const QStringList &) { m_network->clearSubmissions(m->port()); });
    add(QStringLiteral("stored"), [](SimModem *m, const QStringList &, QByteArrayList *data) {
        const auto &storage = m->storage();
        for (auto it = storage.begin(); it != storage.end(); ++it)
            data->append(number(it.key()) + ' ' + number(it->status) + ' ' + it->pdu.hex());
        return QString();
    });
    add(QStringLiteral("status"), [](SimModem *m, const QStringList &, QByteArrayList *data) {
        data->append("ringing " + number(m->isRinging() ? 1 : 0));
        data->append("hangups " + number(m->hangUps()));
        data->append("stored " + number(m->storage().size()));
        data->append("heldback " + number(m->heldBack()));
        data->append("echo " + number(m->echoes() ? 1 : 0));
        data->append("silent " + number(m->isSilent() ? 1 : 0));
        data->append("gone " + number(m->isGone() ? 1 : 0));
        data->append("own " + number(m->ownMemory().size()));
        data->append("acks " + number(m->acknowledgements()));
        return QString();
    });
}
