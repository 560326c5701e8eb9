#include "gatewayapiengine.h"

#include "engine/gateway.h"
#include "messaging/messageflow.h"

GatewayApiEngine::GatewayApiEngine(Gateway &gateway) : m_gw(gateway), m_lookup(gateway.flow().db())
{ }

QueueResult GatewayApiEngine::queueMessages(const QList<OutgoingMessage> &messages)
{
    return m_gw.queueMessages(messages);
}

EngineStatus GatewayApiEngine::status() const
{
    return m_gw.status();
}

std::optional<std::optional<StoredMessage>> GatewayApiEngine::message(qint64 id, QString *error)
{
    if (!m_gw.flow().store().isOpen()) {
        *error = QStringLiteral("数据库未连接");
        return std::nullopt;
    }
    return m_lookup.message(id, error);
}

QString GatewayApiEngine::deviceOf(qint64 id) const
{
    const QString key = QString::number(id);
    const QList<QueuedMessage> &jobs = m_gw.flow().dispatch().deviceJobs();
    for (qsizetype d = 0; d < jobs.size() && d < m_gw.devices().rowCount(); ++d) {
        if (jobs.at(d).SysNo == key)
            return m_gw.settings().deviceLabel(int(d));
    }
    return {};
}

std::optional<QList<ReceivedRow>> GatewayApiEngine::received(qint64 after, int limit,
                                                             QString *error)
{
    if (!m_gw.flow().store().isOpen()) {
        *error = QStringLiteral("数据库未连接");
        return std::nullopt;
    }
    return m_lookup.received(after, limit, error);
}
