#include "gatewayapiengine.h"

#include "engine/gateway.h"
#include "messaging/messageflow.h"

namespace {

LinkState linkOf(const QString &status)
{
    if (status == QStringLiteral("未连接"))
        return LinkState::NotConnected;
    if (status == QStringLiteral("准备连接"))
        return LinkState::Connecting;
    if (status == QStringLiteral("空闲"))
        return LinkState::Idle;
    if (status == QStringLiteral("正在发送"))
        return LinkState::Sending;
    return LinkState::Failed;
}

std::optional<int> numberIn(const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

} // namespace

GatewayApiEngine::GatewayApiEngine(Gateway &gateway) : m_gw(gateway), m_lookup(gateway.flow().db())
{ }

QueueResult GatewayApiEngine::queueMessages(const QList<OutgoingMessage> &messages)
{
    return m_gw.queueMessages(messages);
}

DeviceStatus GatewayApiEngine::deviceStatus(const DeviceRow &row)
{
    DeviceStatus d;
    d.port = row.portText.mid(3);
    d.rate = row.rate;
    d.model = row.model;
    d.link = linkOf(row.status);
    // "已发" reads "accepted/results".
    const qint64 results = row.sent.section(QLatin1Char('/'), 1, 1).toLongLong();
    d.sent = row.sent.section(QLatin1Char('/'), 0, 0).toLongLong();
    d.failed = qMax<qint64>(0, results - d.sent);
    d.received = row.received.toLongLong();
    // 99 is the modem's "not known".
    d.rssi = numberIn(row.signal.section(QLatin1Char(','), 0, 0), 0, 31);
    d.ber = numberIn(row.signal.section(QLatin1Char(','), 1, 1), 0, 7);
    d.registration = numberIn(row.registration, 0, 9);
    d.operatorName = row.operatorName;
    return d;
}

EngineStatus GatewayApiEngine::status() const
{
    EngineStatus s;
    s.running = m_gw.ServiceRunning();
    s.databaseUp = m_gw.flow().store().isOpen();
    for (const DeviceRow &row : m_gw.devices().rows())
        s.devices.append(deviceStatus(row));
    s.queueLength = m_gw.flow().queueLength();
    return s;
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
            return m_gw.devices().row(int(d)).portText;
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
