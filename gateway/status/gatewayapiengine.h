#pragma once

#include "api/apiengine.h"
#include "messaging/messagelookup.h"

class Gateway;
struct DeviceRow;

// The API's view of today's Gateway, until the engine offers EngineApi: queueing and the
// table reads go through the message path, the device numbers are read off the device list.
class GatewayApiEngine : public ApiEngine
{
public:
    explicit GatewayApiEngine(Gateway &gateway);

    QueueResult queueMessages(const QList<OutgoingMessage> &messages) override;
    EngineStatus status() const override;
    std::optional<std::optional<StoredMessage>> message(qint64 id, QString *error) override;
    QString deviceOf(qint64 id) const override;
    std::optional<QList<ReceivedRow>> received(qint64 after, int limit, QString *error) override;

    // One device as numbers, from its row in the device list.
    static DeviceStatus deviceStatus(const DeviceRow &row);

private:
    Gateway &m_gw;
    MessageLookup m_lookup;
};
