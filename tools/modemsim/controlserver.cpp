#include "controlserver.h"

#include "simmodem.h"
#include "simnetwork.h"

#include <QLocalServer>
#include <QLocalSocket>

ControlServer::ControlServer(SimNetwork *network, QObject *parent)
    : QObject(parent), m_network(network), m_server(new QLocalServer(this)),
      m_modemCommands(network)
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
    if (runOnNetwork(cmd, args, data))
        return {};
    SimModem *modem = m_network->byPort(args.value(1).toInt());
    if (!modem)
        return QStringLiteral("no modem on port %1").arg(args.value(1));
    return m_modemCommands.run(cmd, modem, args, data);
}

bool ControlServer::runOnNetwork(const QString &cmd, const QStringList &args, QByteArrayList *data)
{
    if (cmd == QLatin1String("ping") || cmd == QLatin1String("quit"))
        return true;
    if (cmd == QLatin1String("stats")) {
        data->append("submitted " + QByteArray::number(m_network->submittedParts()));
        data->append("delivered " + QByteArray::number(m_network->deliveredParts()));
        return true;
    }
    if (cmd == QLatin1String("modems")) {
        for (SimModem *m : m_network->modems())
            data->append(QByteArray::number(m->port()) + ' ' + m->number().toUtf8());
        return true;
    }
    if (cmd == QLatin1String("counts")) {
        for (SimModem *m : m_network->modems())
            data->append(QByteArray::number(m->port()) + ' '
                         + QByteArray::number(m_network->submissions(m->port()).size()));
        return true;
    }
    if (cmd == QLatin1String("delay") && args.value(1) == QLatin1String("all")) {
        for (SimModem *m : m_network->modems())
            m->setSendDelay(args.value(2).toInt());
        return true;
    }
    return false;
}
