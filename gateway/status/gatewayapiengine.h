#pragma once

#include "api/apiengine.h"
#include "messaging/messagelookup.h"

class Gateway;

// The API's view of the Gateway: queueing and the status through its EngineApi, the table reads
// through the message path's connection.
class GatewayApiEngine : public ApiEngine
{
public:
    explicit GatewayApiEngine(Gateway &gateway);

    QueueResult queueMessages(const QList<OutgoingMessage> &messages) override;
    EngineStatus status() const override;
    std::optional<std::optional<StoredMessage>> message(qint64 id, QString *error) override;
    QString deviceOf(qint64 id) const override;
    std::optional<QList<ReceivedRow>> received(qint64 after, int limit, QString *error) override;

private:
    Gateway &m_gw;
    MessageLookup m_lookup;
};
