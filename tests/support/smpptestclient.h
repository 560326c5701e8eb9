#pragma once

// A bare SMPP client for tests, written on the server's own codec so that a test can send what
// no well-behaved client would: PDUs in any order, cut off, or a socket dropped mid-window.
// It waits by letting the event loop run, so a server on the same thread goes on serving.

#include "smppbodies.h"
#include "smpppdu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslSocket>
#include <optional>

class SmppTestClient
{
public:
    // Over TLS when tls is set, taking any certificate.
    bool connectTo(quint16 port, bool tls = false)
    {
        if (!tls) {
            socket.connectToHost(QStringLiteral("127.0.0.1"), port);
            return wait([this] { return socket.state() == QAbstractSocket::ConnectedState; });
        }
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        return wait([this] { return socket.isEncrypted(); });
    }

    quint32 send(quint32 command, const QByteArray &body = {})
    {
        const quint32 seq = ++sequence;
        socket.write(Smpp::encode({command, 0, seq, body}));
        return seq;
    }
    void reply(const Smpp::Pdu &request, quint32 status = 0, const QByteArray &body = {})
    {
        socket.write(Smpp::encode({request.command | Smpp::Command::Response, status,
                                   request.sequence, body}));
    }

    // The next PDU from the server, in the order it came.
    std::optional<Smpp::Pdu> next(int ms = 5000)
    {
        std::optional<Smpp::Pdu> out;
        wait([&] {
            if (!pending.isEmpty()) {
                out = pending.takeFirst();
                return true;
            }
            return false;
        },
             ms);
        return out;
    }
    // The response to the request seq; other PDUs stay for next().
    std::optional<Smpp::Pdu> answer(quint32 seq, int ms = 5000)
    {
        std::optional<Smpp::Pdu> out;
        wait([&] {
            for (qsizetype i = 0; i < pending.size(); ++i) {
                if (pending.at(i).sequence == seq && pending.at(i).isResponse()) {
                    out = pending.takeAt(i);
                    return true;
                }
            }
            return false;
        },
             ms);
        return out;
    }
    // The status the server answered the request seq with; 0xFFFFFFFF without an answer.
    quint32 status(quint32 seq)
    {
        const auto a = answer(seq);
        return a ? a->status : 0xFFFFFFFF;
    }

    std::optional<Smpp::Pdu> call(quint32 command, const QByteArray &body = {})
    {
        return answer(send(command, body));
    }
    bool closedByServer(int ms = 5000)
    {
        return wait([this] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }

    static QByteArray bindBody(const QByteArray &systemId, const QByteArray &password)
    {
        return Smpp::PduWriter()
                .cstring(systemId)
                .cstring(password)
                .cstring("")
                .u8(0x34)
                .u8(0)
                .u8(0)
                .cstring("")
                .data();
    }
    static QByteArray submitBody(const QByteArray &destination, quint8 dataCoding,
                                 const QByteArray &text, quint8 registered = 1,
                                 quint8 esmClass = 0, const QByteArray &tlvs = {})
    {
        Smpp::PduWriter w;
        w.cstring("").u8(5).u8(0).cstring("Shop").u8(1).u8(1).cstring(destination);
        w.u8(esmClass).u8(0).u8(0).cstring("").cstring("").u8(registered).u8(0).u8(dataCoding);
        w.u8(0).u8(quint8(text.size())).bytes(text).bytes(tlvs);
        return w.data();
    }

    QSslSocket socket;
    QList<Smpp::Pdu> pending;
    quint32 sequence = 0;

private:
    template<typename Done>
    bool wait(Done done, int ms = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            read();
            if (done())
                return true;
            if (timer.hasExpired(ms))
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }
    void read()
    {
        m_buffer += socket.readAll();
        Smpp::Pdu pdu;
        while (Smpp::takeFrame(m_buffer, &pdu) == Smpp::Frame::Complete)
            pending << pdu;
    }

    QByteArray m_buffer;
};
