#include "webhookpayload.h"

#include "model/engineevents.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString timeText(const QDateTime &at)
{
    return at.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject message(qint64 id, const QString &number, const QDateTime &at)
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("number"), number},
            {QStringLiteral("at"), timeText(at)}};
}

void addDevice(QJsonObject &data, const DeviceRef &device)
{
    if (device.port.isEmpty())
        return;
    QJsonObject ref{{QStringLiteral("port"), device.port}};
    if (!device.simNumber.isEmpty())
        ref.insert(QStringLiteral("simNumber"), device.simNumber);
    data.insert(QStringLiteral("device"), ref);
}

QByteArray envelope(const QString &type, const QJsonObject &data, const QDateTime &at)
{
    const QJsonObject event{{QStringLiteral("type"), type},
                            {QStringLiteral("timestamp"), timeText(at)},
                            {QStringLiteral("data"), data}};
    return QJsonDocument(event).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray WebhookPayload::sent(qint64 id, const QString &number, const DeviceRef &device,
                                const QDateTime &at)
{
    QJsonObject data = message(id, number, at);
    addDevice(data, device);
    return envelope(QStringLiteral("message.sent"), data, at);
}

QByteArray WebhookPayload::failed(qint64 id, const QString &number, const DeviceRef &device,
                                  const QString &reason, const QDateTime &at)
{
    QJsonObject data = message(id, number, at);
    addDevice(data, device);
    data.insert(QStringLiteral("reason"), reason);
    return envelope(QStringLiteral("message.failed"), data, at);
}

QByteArray WebhookPayload::delivered(qint64 id, const QString &number, int status,
                                     const QDateTime &at)
{
    QJsonObject data = message(id, number, at);
    data.insert(QStringLiteral("status"), reportStatus(status));
    data.insert(QStringLiteral("tpStatus"), status);
    return envelope(QStringLiteral("message.delivered"), data, at);
}

QByteArray WebhookPayload::received(qint64 id, const QString &number, const QString &text,
                                    const DeviceRef &device, const QDateTime &at)
{
    QJsonObject data = message(id, number, at);
    data.insert(QStringLiteral("text"), text);
    addDevice(data, device);
    return envelope(QStringLiteral("message.received"), data, at);
}

QString WebhookPayload::reportStatus(int status)
{
    if (status < 32)
        return QStringLiteral("delivered");
    if (status < 64)
        return QStringLiteral("pending");
    return QStringLiteral("failed");
}
