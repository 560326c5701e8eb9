#pragma once

#include <QObject>
#include <QString>
#include <functional>

class DeviceTable;
class LogSink;
class ModemControl;

// Finds the serial ports where a modem answers, by asking the idle modem control of slot 100 to
// probe each port, and makes them the device list and the configuration's Port and Rate.
class DeviceSearch : public QObject
{
    Q_OBJECT

public:
    // Names of the serial ports the system has, each followed by "-" ("COM1-COM3-").
    using PortLister = std::function<QString()>;
    static constexpr int ProbeSlot = 100;

    // What the search works with: the idle control that probes, the device list it replaces,
    // the log and the configuration file it writes.
    struct Parts
    {
        ModemControl *probe;
        DeviceTable &devices;
        LogSink &log;
        QString configPath;
    };

    DeviceSearch(const Parts &parts, PortLister listSerialPorts, QObject *parent = nullptr);

    // Probes the range from..to (combo texts such as "com3") or, without a range, every port
    // the system lists; then replaces the device list with what answered and emits finished.
    // Returns at once: one port is probed per turn of the loop, which serves everything else
    // in between.
    void run(bool useRange, const QString &fromText, const QString &toText);

    bool running() const { return m_running; }

    // "com12" -> 12: every "com" removed, then the leading digits (0 when there are none).
    static int portNumberOf(const QString &text);

Q_SIGNALS:
    void progress(int percent);
    void finished();

private:
    QString probe(int port);
    // Probes the next port and comes back on the next turn, or ends the search.
    void next();
    void apply(const QString &collected);

    Parts m_parts;
    PortLister m_listSerialPorts;
    QList<int> m_ports;
    qsizetype m_done = 0;
    QString m_collected;
    bool m_running = false;
};
