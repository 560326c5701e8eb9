#include "smppsession.h"

using namespace Smpp;

SmppSession::SmppSession(QTcpSocket *socket, int idleSeconds, Handlers handlers, QObject *parent)
    : QObject(parent), m_socket(socket), m_handlers(std::move(handlers))
{
    socket->setParent(this);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleSeconds * 1000);
    connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->abort(); });
    connect(socket, &QTcpSocket::readyRead, this, &SmppSession::readPdus);
    connect(socket, &QTcpSocket::disconnected, this, &SmppSession::finish);
    connect(socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            finish();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_closing && m_socket->bytesToWrite() == 0)
            m_socket->disconnectFromHost();
    });
    m_idle.start();
    m_clock.start();
}

SmppSession::~SmppSession()
{
    if (m_socket)
        disconnect(m_socket, nullptr, this, nullptr);
}

QString SmppSession::peer() const
{
    return m_socket ? QStringLiteral("%1:%2")
                              .arg(m_socket->peerAddress().toString())
                              .arg(m_socket->peerPort())
                    : QString();
}

void SmppSession::setBound(Bind bind, const QString &token, bool reads)
{
    m_bind = bind;
    m_token = token;
    m_reads = reads;
}

void SmppSession::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_idle.stop();
    if (m_handlers.closed)
        m_handlers.closed(*this);
}

void SmppSession::write(const Pdu &pdu)
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(encode(pdu));
}

void SmppSession::respond(const Pdu &request, quint32 status, const QByteArray &body)
{
    write({request.command | Command::Response, status, request.sequence, body});
}

void SmppSession::deliver(const QString &file, const QByteArray &body)
{
    // Sequence numbers run 1 .. 0x7FFFFFFF.
    m_sequence = m_sequence >= 0x7FFFFFFF ? 1 : m_sequence + 1;
    m_inFlight.insert(m_sequence, {file, m_clock.elapsed()});
    write({Command::DeliverSm, Status::Ok, m_sequence, body});
}

bool SmppSession::overdue(qint64 ms) const
{
    const qint64 now = m_clock.elapsed();
    for (const InFlight &f : m_inFlight) {
        if (now - f.sentMs > ms)
            return true;
    }
    return false;
}

void SmppSession::abort()
{
    if (m_socket)
        m_socket->abort();
}

void SmppSession::closeAfterWrite()
{
    m_closing = true;
    m_socket->readAll();
    if (m_socket->bytesToWrite() == 0)
        m_socket->disconnectFromHost();
}

void SmppSession::readPdus()
{
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    m_buffer += m_socket->readAll();
    // Until it binds, a connection has the idle time once: enquire_link does not keep it.
    if (m_bind != Bind::None)
        m_idle.start();
    QList<Pdu> batch;
    Pdu pdu;
    for (;;) {
        const Frame frame = takeFrame(m_buffer, &pdu);
        if (frame == Frame::Incomplete)
            break;
        if (frame == Frame::Invalid) {
            // The stream cannot be followed past a length that is no length.
            write({Command::GenericNack, Status::InvalidCommandLength, 0, {}});
            closeAfterWrite();
            break;
        }
        handle(pdu, &batch);
        if (m_closing)
            break;
    }
    if (!batch.isEmpty() && m_handlers.submit)
        m_handlers.submit(*this, batch);
}

void SmppSession::handle(const Pdu &pdu, QList<Pdu> *batch)
{
    switch (pdu.command) {
    case Command::BindReceiver:
    case Command::BindTransmitter:
    case Command::BindTransceiver:
        if (m_bind != Bind::None)
            respond(pdu, Status::AlreadyBound);
        else
            m_handlers.bind(*this, pdu);
        return;
    case Command::EnquireLink:
        respond(pdu, Status::Ok);
        return;
    case Command::Unbind:
        respond(pdu, Status::Ok);
        closeAfterWrite();
        return;
    case Command::SubmitSm:
    case Command::SubmitMulti:
        if (!transmits())
            respond(pdu, Status::InvalidBindStatus);
        else
            batch->append(pdu);
        return;
    case Command::DeliverSm | Command::Response:
    case Command::GenericNack:
        if (auto file = m_inFlight.take(pdu.sequence).file; !file.isEmpty()) {
            if (pdu.status == Status::Ok)
                ++delivered;
            m_handlers.answered(*this, file, pdu.command == Command::GenericNack && !pdu.status
                                                     ? Status::SystemError
                                                     : pdu.status);
        }
        return;
    case Command::EnquireLink | Command::Response:
    case Command::Unbind | Command::Response:
        return;
    default:
        // A response to nothing we asked is dropped; a request we do not serve is refused.
        if (!pdu.isResponse())
            write({Command::GenericNack, Status::InvalidCommandId, pdu.sequence, {}});
        return;
    }
}
