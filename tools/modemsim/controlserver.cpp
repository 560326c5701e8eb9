#include "controlserver.h"

#include "pdu/messagesplitter.h"
#include "pdu/pduencoder.h"
#include "simmodem.h"
#include "simnetwork.h"

#include <QDateTime>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>

namespace {

QString decoded(const QString &percent)
{
    return QUrl::fromPercentEncoding(percent.toUtf8());
}

QByteArray encoded(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

} // namespace

ControlServer::ControlServer(SimNetwork *network, QObject *parent)
    : QObject(parent), m_network(network), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::onConnection);
}

bool ControlServer::listen(const QString &path, QString *error)
{
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        *error = m_server->errorString();
        return false;
    }
    return true;
}

void ControlServer::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void ControlServer::onReadable(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        if (line.isEmpty())
            continue;
        QByteArrayList data;
        const QString error = run(line, &data);
        QByteArray out;
        for (const QByteArray &d : data)
            out += "= " + d + '\n';
        out += error.isEmpty() ? QByteArray("OK\n") : "ERR " + error.toUtf8() + '\n';
        socket->write(out);
        socket->flush();
        if (line == QLatin1String("quit"))
            Q_EMIT quitRequested();
    }
}

QString ControlServer::run(const QString &line, QByteArrayList *data)
{
    const QStringList args = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString cmd = args.value(0).toLower();
    if (cmd == QLatin1String("ping") || cmd == QLatin1String("quit"))
        return {};
    if (cmd == QLatin1String("stats")) {
        data->append("submitted " + QByteArray::number(m_network->submittedParts()));
        data->append("delivered " + QByteArray::number(m_network->deliveredParts()));
        return {};
    }
    if (cmd == QLatin1String("modems")) {
        for (SimModem *m : m_network->modems())
            data->append(QByteArray::number(m->port()) + ' ' + m->number().toUtf8());
        return {};
    }
    if (cmd == QLatin1String("delay") && args.value(1) == QLatin1String("all")) {
        for (SimModem *m : m_network->modems())
            m->setSendDelay(args.value(2).toInt());
        return {};
    }

    SimModem *modem = m_network->byPort(args.value(1).toInt());
    if (!modem)
        return QStringLiteral("no modem on port %1").arg(args.value(1));

    if (cmd == QLatin1String("number")) {
        data->append(modem->number().toUtf8());
    } else if (cmd == QLatin1String("deliver")) {
        // deliver <port> <sender> <text%> [order=2,1,3] [dup=N] [ucs2] [ref16] [ref=N] [mem=ME]
        if (args.size() < 4)
            return QStringLiteral("usage: deliver <port> <sender> <text> [options]");
        MessageSplitter::Options options;
        options.reference = int(QDateTime::currentMSecsSinceEpoch() & 0xFF);
        QList<int> order;
        QList<int> duplicates;
        QByteArray memory = "SM";
        for (const QString &opt : args.mid(4)) {
            if (opt == QLatin1String("ucs2"))
                options.coding = MessageSplitter::Coding::Ucs2;
            else if (opt == QLatin1String("ref16"))
                options.sixteenBitReference = true;
            else if (opt.startsWith(QLatin1String("ref=")))
                options.reference = opt.mid(4).toInt();
            else if (opt.startsWith(QLatin1String("order="))) {
                for (const QString &n : opt.mid(6).split(QLatin1Char(',')))
                    order.append(n.toInt());
            } else if (opt.startsWith(QLatin1String("dup="))) {
                duplicates.append(opt.mid(4).toInt());
            } else if (opt.startsWith(QLatin1String("mem="))) {
                memory = opt.mid(4).toLatin1();
            } else {
                return QStringLiteral("unknown option %1").arg(opt);
            }
        }
        const QList<UserData> parts = MessageSplitter::split(decoded(args[3]), options);
        if (parts.isEmpty())
            return QStringLiteral("text too long");
        if (order.isEmpty()) {
            for (int i = 1; i <= parts.size(); ++i)
                order.append(i);
        }
        order.append(duplicates);
        for (int n : order) {
            if (n < 1 || n > parts.size())
                return QStringLiteral("no part %1 of %2").arg(n).arg(parts.size());
        }
        const QDateTime now = QDateTime::currentDateTime();
        for (int n : order)
            modem->receive(PduEncoder::deliver(args[2], parts[n - 1], now, modem->serviceCentre()),
                           memory);
        data->append(QByteArray::number(parts.size()));
    } else if (cmd == QLatin1String("deliverpdu")) {
        // deliverpdu <port> <hex> [mem=ME]: exactly these octets arrive, junk or not.
        const QByteArray octets = QByteArray::fromHex(args.value(2).toLatin1());
        if (octets.isEmpty())
            return QStringLiteral("usage: deliverpdu <port> <hex> [mem=ME]");
        PduEncoder::Encoded pdu;
        pdu.octets = octets;
        pdu.tpduLength = int(qMax<qsizetype>(0, octets.size() - 1 - quint8(octets[0])));
        const QString mem = args.value(3);
        modem->receive(pdu,
                       mem.startsWith(QLatin1String("mem=")) ? mem.mid(4).toLatin1()
                                                             : QByteArray("SM"));
    } else if (cmd == QLatin1String("direct")) {
        modem->setDirect(args.value(2) != QLatin1String("0"));
    } else if (cmd == QLatin1String("ring")) {
        modem->ring(args.value(2));
    } else if (cmd == QLatin1String("failnext")) {
        modem->failNextSend(args.size() > 2 ? args[2].toInt() : 500,
                            args.size() > 3 ? args[3].toInt() : 1);
    } else if (cmd == QLatin1String("memfull")) {
        modem->setReportFullStore(args.value(2) != QLatin1String("0"));
    } else if (cmd == QLatin1String("silent")) {
        modem->setSilent(args.value(2) != QLatin1String("0"));
    } else if (cmd == QLatin1String("vanish")) {
        modem->vanish();
    } else if (cmd == QLatin1String("plug")) {
        QString error;
        if (!modem->plug(&error))
            return error;
    } else if (cmd == QLatin1String("reset")) {
        modem->reset();
    } else if (cmd == QLatin1String("restart")) {
        modem->restart(args.size() > 2 ? args[2].toInt() : 500);
    } else if (cmd == QLatin1String("simbusy")) {
        modem->setSimBusy(args.value(2).toInt());
    } else if (cmd == QLatin1String("sim")) {
        const QString state = args.value(2);
        if (state == QLatin1String("pin"))
            modem->setSimState(SimModem::SimState::PinRequired);
        else if (state == QLatin1String("missing"))
            modem->setSimState(SimModem::SimState::Missing);
        else if (state == QLatin1String("ready"))
            modem->setSimState(SimModem::SimState::Ready);
        else
            return QStringLiteral("usage: sim <port> ready|pin|missing");
    } else if (cmd == QLatin1String("network")) {
        modem->setRegistered(args.value(2) != QLatin1String("0"));
    } else if (cmd == QLatin1String("reportsstored")) {
        modem->setReportsStoredOnly(args.value(2) != QLatin1String("0"));
    } else if (cmd == QLatin1String("reportdelay")) {
        modem->setReportDelay(args.value(2).toInt());
    } else if (cmd == QLatin1String("delay")) {
        modem->setSendDelay(args.value(2).toInt());
    } else if (cmd == QLatin1String("urc")) {
        modem->unsolicited(decoded(args.value(2)).toUtf8());
    } else if (cmd == QLatin1String("sent")) {
        for (const SimNetwork::Submission &s : m_network->submissions(modem->port()))
            data->append(s.destination.toUtf8() + ' ' + encoded(s.text) + ' '
                         + QByteArray::number(s.parts));
    } else if (cmd == QLatin1String("clearsent")) {
        m_network->clearSubmissions(modem->port());
    } else if (cmd == QLatin1String("stored")) {
        const auto &storage = modem->storage();
        for (auto it = storage.begin(); it != storage.end(); ++it)
            data->append(QByteArray::number(it.key()) + ' ' + QByteArray::number(it->status) + ' '
                         + it->pdu.hex());
    } else if (cmd == QLatin1String("status")) {
        data->append("ringing " + QByteArray::number(modem->isRinging() ? 1 : 0));
        data->append("hangups " + QByteArray::number(modem->hangUps()));
        data->append("stored " + QByteArray::number(modem->storage().size()));
        data->append("heldback " + QByteArray::number(modem->heldBack()));
        data->append("echo " + QByteArray::number(modem->echoes() ? 1 : 0));
        data->append("silent " + QByteArray::number(modem->isSilent() ? 1 : 0));
        data->append("gone " + QByteArray::number(modem->isGone() ? 1 : 0));
        data->append("own " + QByteArray::number(modem->ownMemory().size()));
        data->append("acks " + QByteArray::number(modem->acknowledgements()));
    } else {
        return QStringLiteral("unknown command %1").arg(cmd);
    }
    return {};
}
