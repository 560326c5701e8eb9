#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// velmora-gatewayd as the service benchmarks run it: the program VELMORA_GATEWAYD names, on a
// program folder, with the simulator's links as its serial ports, its standard error passed on
// and its standard output dropped.
class GatewaydProcess
{
public:
    // A plain HTTP/1.1 GET on the loopback; the whole answer, headers and all.
    static QByteArray httpGet(quint16 port, const QByteArray &path);
    // A TCP port nobody listens on just now.
    static quint16 freePort();

    // False when it did not start within 5 s.
    bool start(const QString &portsDir, const QString &programDir);
    // Milliseconds until /metrics counts all modems up; -1 when that took longer than timeoutMs
    // or the service ended meanwhile.
    qint64 waitForDevices(quint16 httpPort, int modems, qint64 timeoutMs);
    qint64 pid() const { return m_process.processId(); }
    // SIGTERM, as the service manager stops it, and up to 10 s for it to end.
    void stop();

private:
    QProcess m_process;
};
