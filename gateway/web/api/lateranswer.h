#pragma once

#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <memory>

class QHttpServerResponse;

// The answer to a request that waits for a read on another thread: it holds the request's
// responder until the read ends. A client that went away meanwhile is not written to.
class LaterAnswer
{
public:
    explicit LaterAnswer(QHttpServerResponder &&responder);

    // Writes the response once; later calls do nothing.
    void operator()(const QHttpServerResponse &response) const;

private:
    struct State
    {
        std::unique_ptr<QHttpServerResponder> responder;
        QPointer<QTcpSocket> socket;
    };
    // Shared by the copies a callback makes of it.
    std::shared_ptr<State> m_state;
};
