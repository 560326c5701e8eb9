#pragma once

#include "modemcommands.h"

#include <QByteArrayList>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class SimNetwork;

// The simulator's control socket: one command a line, answered by zero or more "= ..." data
// lines and a closing "OK" or "ERR <reason>" (the commands are listed in README.md).
class ControlServer : public QObject
{
    Q_OBJECT

public:
    ControlServer(SimNetwork *network, QObject *parent = nullptr);
    bool listen(const QString &path, QString *error);

Q_SIGNALS:
    void quitRequested();

private:
    void onConnection();
    void onReadable(QLocalSocket *socket);
    // Runs one command; fills the data lines, returns the empty text or the error.
    QString run(const QString &line, QByteArrayList *data);
    // The commands for all modems (ping, stats, delay all, ...); false for any other.
    bool runOnNetwork(const QString &cmd, const QStringList &args, QByteArrayList *data);

    SimNetwork *m_network;
    QLocalServer *m_server;
    ModemCommands m_modemCommands;
};
