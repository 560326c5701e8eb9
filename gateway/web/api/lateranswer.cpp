#include "lateranswer.h"

#include <QHttpServerResponse>

LaterAnswer::LaterAnswer(QHttpServerResponder &&responder) : m_state(std::make_shared<State>())
{
    m_state->responder = std::make_unique<QHttpServerResponder>(std::move(responder));
    m_state->socket = m_state->responder->socket();
}

void LaterAnswer::operator()(const QHttpServerResponse &response) const
{
    const std::unique_ptr<QHttpServerResponder> responder = std::move(m_state->responder);
    if (!responder || !m_state->socket
        || m_state->socket->state() != QAbstractSocket::ConnectedState)
        return;
    response.write(std::move(*responder));
}
