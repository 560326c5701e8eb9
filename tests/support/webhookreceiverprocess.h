#pragma once

// The Python receiver (webhookreceiver.py) as a process: it verifies every signature as the
// Standard Webhooks libraries do and logs one post a line. Stopped and started again it listens
// on the same port and keeps the same log, as a receiver that was down for a while.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>

class WebhookReceiverProcess
{
public:
    explicit WebhookReceiverProcess(QString secret, quint16 port = 0)
        : m_secret(std::move(secret)), m_port(port)
    {
        start();
    }
    ~WebhookReceiverProcess() { stop(); }
    WebhookReceiverProcess(const WebhookReceiverProcess &) = delete;
    WebhookReceiverProcess &operator=(const WebhookReceiverProcess &) = delete;

    bool start()
    {
        m_process.setProgram(QStringLiteral("python3"));
        m_process.setArguments({qEnvironmentVariable("VELMORA_SOURCE_DIR")
                                        + QStringLiteral("/tests/support/webhookreceiver.py"),
                                QStringLiteral("--secret"), m_secret, QStringLiteral("--log"),
                                m_dir.filePath(QStringLiteral("log")),
                                QStringLiteral("--status-file"),
                                m_dir.filePath(QStringLiteral("status")), QStringLiteral("--port"),
                                QString::number(m_port)});
        m_process.start();
        if (!m_process.waitForReadyRead(20000))
            return false;
        m_port = quint16(m_process.readLine().trimmed().toUInt());
        return m_port != 0;
    }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/hook").arg(m_port); }
    void answer(int status)
    {
        QFile f(m_dir.filePath(QStringLiteral("status")));
        if (f.open(QIODevice::WriteOnly))
            f.write(QByteArray::number(status));
    }
    // {"id": webhook-id, "valid": signature checked, "body": the post, "status": the answer}
    QList<QJsonObject> posts() const
    {
        QList<QJsonObject> out;
        QFile f(m_dir.filePath(QStringLiteral("log")));
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : f.readAll().split('\n')) {
                if (!line.isEmpty())
                    out << QJsonDocument::fromJson(line).object();
            }
        }
        return out;
    }
    qsizetype count() const { return posts().size(); }

private:
    QString m_secret;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port;
};
