#pragma once

#include <QByteArrayList>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

class SimModem;
class SimNetwork;

// The control socket's commands for one modem ("<command> <port> ..."), by name. A handler
// fills the data lines and returns the empty text or the error.
class ModemCommands
{
public:
    explicit ModemCommands(SimNetwork *network);

    QString run(const QString &name, SimModem *modem, const QStringList &args,
                QByteArrayList *data) const;

private:
    using Handler = std::function<QString(SimModem *, const QStringList &, QByteArrayList *)>;
    // For the commands that only switch something: the handler never fails nor answers.
    using Setter = std::function<void(SimModem *, const QStringList &)>;

    void add(const QString &name, Handler handler) { m_handlers.insert(name, handler); }
    void addSetter(const QString &name, Setter setter);
    void addDelivery();
    void addFaults();
    void addBehaviour();
    void addReadings();

    SimNetwork *m_network;
    QHash<QString, Handler> m_handlers;
};
