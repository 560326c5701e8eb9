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
    // the system lists; then replaces the device list with what answered.
    void run(bool useRange, const QString &fromText, const QString &toText);

    // "com12" -> 12: every "com" removed, then the leading digits (0 when there are none).
    static int portNumberOf(const QString &text);

Q_SIGNALS:
    void progress(int percent);

private:
    QString probe(int port);
    void apply(const QString &collected);

    Parts m_parts;
    PortLister m_listSerialPorts;
};
