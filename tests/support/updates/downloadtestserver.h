#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A local HTTP or FTP server for the download tests (download_servers.py beside this file),
// started on 127.0.0.1 and a free port, stopped when the object goes.
class DownloadTestServer
{
public:
    enum Kind { Http, Ftp };

    ~DownloadTestServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // False, with the reason in error(), when the server did not come up.
    bool start(Kind kind, const QString &root)
    {
        m_kind = kind;
        const QString python = qEnvironmentVariable("VELMORA_TEST_PYTHON", "python3");
        const QString script = qEnvironmentVariable("VELMORA_SOURCE_DIR")
                + QStringLiteral("/tests/support/updates/download_servers.py");
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(
                python,
                {script, kind == Http ? QStringLiteral("http") : QStringLiteral("ftp"), root});
        if (!m_process.waitForStarted(10000)) {
            m_error = m_process.errorString();
            return false;
        }
        while (m_process.state() == QProcess::Running && !m_process.canReadLine())
            m_process.waitForReadyRead(200);
        const QByteArray line = m_process.readLine().trimmed();
        if (!line.startsWith("PORT ")) {
            m_error = QStringLiteral("the server said \"%1\"").arg(QString::fromUtf8(line));
            return false;
        }
        m_port = line.mid(5).toUShort();
        return m_port != 0;
    }

    quint16 port() const { return m_port; }
    QString base() const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
                .arg(m_kind == Http ? QStringLiteral("http") : QStringLiteral("ftp"))
                .arg(m_port);
    }
    QString url(const QString &path) const { return base() + QLatin1Char('/') + path; }
    const QString &error() const { return m_error; }

private:
    QProcess m_process;
    Kind m_kind = Http;
    quint16 m_port = 0;
    QString m_error;
};

// A TCP port on 127.0.0.1 where nothing listens (taken, then given back).
#include <QTcpServer>
inline quint16 closedLoopbackPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
