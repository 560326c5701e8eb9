#include "devicerow.h"

#include <QStringList>

QString DeviceRow::heading(int column)
{
    switch (column) {
    case ColPort:
        return QStringLiteral("串口号");
    case ColRate:
        return QStringLiteral("波特率");
    case ColModel:
        return QStringLiteral("设备型号");
    case ColSent:
        return QStringLiteral("已发");
    case ColReceived:
        return QStringLiteral("已收");
    case ColStatus:
        return QStringLiteral("状态");
    }
    return {};
}

DeviceRow DeviceRow::of(const DeviceStatus &device)
{
    DeviceRow row;
    row.portText = QStringLiteral("Com") + device.port;
    row.rate = device.rate;
    row.model = device.model;
    row.sent = QString::number(device.sent) + QLatin1Char('/')
            + QString::number(device.sent + device.failed);
    row.received = QString::number(device.received);
    row.status = linkText(device.link);
    row.image = device.portOpen ? ImageConnected : ImageDisconnected;
    row.health = healthText(device);
    return row;
}

void DeviceRow::follow(const DeviceStatus &before, const DeviceStatus &after)
{
    if (before.port != after.port)
        portText = QStringLiteral("Com") + after.port;
    if (before.rate != after.rate)
        rate = after.rate;
    if (before.model != after.model)
        model = after.model;
    if (before.sent != after.sent || before.failed != after.failed)
        sent = QString::number(after.sent) + QLatin1Char('/')
                + QString::number(after.sent + after.failed);
    if (before.received != after.received)
        received = QString::number(after.received);
    if (before.link != after.link)
        status = linkText(after.link);
    image = after.portOpen ? ImageConnected : ImageDisconnected;
    if (before.rssi != after.rssi || before.ber != after.ber
        || before.registration != after.registration || before.operatorName != after.operatorName)
        health = healthText(after);
}

QString DeviceRow::linkText(LinkState link)
{
    switch (link) {
    case LinkState::NotConnected:
        break;
    case LinkState::Connecting:
        return QStringLiteral("准备连接");
    case LinkState::Idle:
        return QStringLiteral("空闲");
    case LinkState::Sending:
        return QStringLiteral("正在发送");
    case LinkState::Failed:
        return QStringLiteral("连接失败,等候再试");
    }
    return QStringLiteral("未连接");
}

QString DeviceRow::healthText(const DeviceStatus &device)
{
    if (!device.rssi && !device.registration && device.operatorName.isEmpty())
        return {};
    const QString dash = QStringLiteral("-");
    QString signal = device.rssi ? QString::number(*device.rssi) : dash;
    if (device.rssi && device.ber)
        signal += QLatin1Char(',') + QString::number(*device.ber);
    // The <stat> values of AT+CREG (TS 27.007 §7.2).
    static const QStringList stats = {
            QStringLiteral("未注册"),     QStringLiteral("已注册"), QStringLiteral("正在搜索网络"),
            QStringLiteral("注册被拒绝"), QStringLiteral("未知"),   QStringLiteral("已注册(漫游)")};
    QString registration = dash;
    if (device.registration) {
        const int stat = *device.registration;
        registration = stat >= 0 && stat < stats.size() ? stats.at(stat) : QString::number(stat);
    }
    return QStringLiteral("信号: %1\n网络注册: %2\n运营商: %3")
            .arg(signal, registration, device.operatorName.isEmpty() ? dash : device.operatorName);
}
