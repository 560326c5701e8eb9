#include "simpoolpayload.h"

#include "model/engineevents.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace SimPoolPayload {

namespace {

QString timeText(const QDateTime &at)
{
    return at.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject deviceOf(const DeviceRef &device)
{
    QJsonObject ref{{QStringLiteral("port"), device.port}};
    if (!device.simNumber.isEmpty())
        ref.insert(QStringLiteral("simNumber"), device.simNumber);
    return ref;
}

QByteArray envelope(const QString &type, QJsonObject data, const QDateTime &at)
{
    data.insert(QStringLiteral("at"), timeText(at));
    const QJsonObject event{{QStringLiteral("type"), type},
                            {QStringLiteral("timestamp"), timeText(at)},
                            {QStringLiteral("data"), data}};
    return QJsonDocument(event).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray optedOut(const QString &number, const QString &keyword, const DeviceRef &device,
                    const QDateTime &at)
{
    QJsonObject data{{QStringLiteral("number"), number}, {QStringLiteral("keyword"), keyword}};
    if (!device.port.isEmpty())
        data.insert(QStringLiteral("device"), deviceOf(device));
    return envelope(QStringLiteral("number.opted_out"), data, at);
}

QByteArray balanceLow(const DeviceRef &device, double balance, double low, const QDateTime &at)
{
    const QJsonObject data{{QStringLiteral("device"), deviceOf(device)},
                           {QStringLiteral("balance"), balance},
                           {QStringLiteral("low"), low}};
    return envelope(QStringLiteral("device.balance_low"), data, at);
}

void follow(EngineEvents &events, QObject *context,
            const std::function<void(const QString &, const QByteArray &)> &record)
{
    QObject::connect(&events, &EngineEvents::numberOptedOut, context,
                     [record](const QString &number, const QString &keyword,
                              const DeviceRef &device, const QDateTime &at) {
                         record(QStringLiteral("number.opted_out"),
                                optedOut(number, keyword, device, at));
                     });
    QObject::connect(&events, &EngineEvents::balanceLow, context,
                     [record](const DeviceRef &device, double balance, double low,
                              const QDateTime &at) {
                         record(QStringLiteral("device.balance_low"),
                                balanceLow(device, balance, low, at));
                     });
}

} // namespace SimPoolPayload
