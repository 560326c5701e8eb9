#include "gatewaydprocess.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>

QByteArray GatewaydProcess::httpGet(quint16 port, const QByteArray &path)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    QByteArray data;
    while (socket.waitForReadyRead(2000))
        data += socket.readAll();
    return data;
}

quint16 GatewaydProcess::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool GatewaydProcess::start(const QString &portsDir, const QString &programDir)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_PORTS_DIR"), portsDir);
    m_process.setProcessEnvironment(env);
    m_process.start(qEnvironmentVariable("VELMORA_GATEWAYD"),
                    {QStringLiteral("--program-dir"), programDir});
    return m_process.waitForStarted(5000);
}

qint64 GatewaydProcess::waitForDevices(quint16 httpPort, int modems, qint64 timeoutMs)
{
    QElapsedTimer startup;
    startup.start();
    const QByteArray allUp = "velmora_devices_up " + QByteArray::number(modems) + '\n';
    while (!httpGet(httpPort, "/metrics").contains(allUp)) {
        if (startup.elapsed() > timeoutMs || m_process.state() != QProcess::Running)
            return -1;
        QThread::msleep(100);
    }
    return startup.elapsed();
}

void GatewaydProcess::stop()
{
    ::kill(pid_t(m_process.processId()), SIGTERM);
    m_process.waitForFinished(10000);
}
