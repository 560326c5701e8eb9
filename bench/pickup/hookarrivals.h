#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

// A minimal webhook receiver on the benchmark's own loop: notes when the message.sent post for
// each number arrived, on the benchmark's clock, and answers 204. Signatures are the tests'
// business; here only the arrival time counts.
class HookArrivals : public QObject
{
public:
    explicit HookArrivals(const QElapsedTimer &clock) : m_clock(clock)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                follow(socket);
        });
    }

    ~HookArrivals() override
    {
        // A socket going with the server says it was disconnected; nobody must hear it then.
        const QList<QTcpSocket *> sockets = m_server.findChildren<QTcpSocket *>();
        for (QTcpSocket *socket : sockets) {
            socket->disconnect();
            delete socket;
        }
    }

    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/hook").arg(m_server.serverPort());
    }
    // Nanoseconds on the benchmark's clock, -1 while nothing came for the number.
    qint64 arrival(const QString &number) const { return m_arrivals.value(number, -1); }

private:
    void follow(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray &buffer = m_buffers[socket];
            buffer += socket->readAll();
            const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            const qsizetype length = contentLength(buffer.left(headEnd));
            if (buffer.size() < headEnd + 4 + length)
                return;
            const QJsonObject event =
                    QJsonDocument::fromJson(buffer.mid(headEnd + 4, length)).object();
            buffer.remove(0, headEnd + 4 + length);
            if (event.value(QStringLiteral("type")).toString() == QLatin1String("message.sent")) {
                const QString number = event.value(QStringLiteral("data"))
                                               .toObject()
                                               .value(QStringLiteral("number"))
                                               .toString();
                if (!m_arrivals.contains(number))
                    m_arrivals.insert(number, m_clock.nsecsElapsed());
            }
            socket->write("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
        });
    }

    static qsizetype contentLength(const QByteArray &head)
    {
        for (const QByteArray &line : head.split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                return line.mid(15).trimmed().toLongLong();
        }
        return 0;
    }

    const QElapsedTimer &m_clock;
    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QString, qint64> m_arrivals;
};
