#pragma once

#include "devicequota.h"

#include <QDateTime>
#include <QString>
#include <optional>

// Where a device's link stands, as the operator's status cell names it: 未连接, 准备连接, 空闲,
// 正在发送, 连接失败,等候再试.
enum class LinkState { NotConnected, Connecting, Idle, Sending, Failed };

// One device as the engine knows it, in numbers; texts are made from it only where they are
// shown (the window's device table, the page, the API).
struct DeviceStatus
{
    QString port; // the configured port number, "3" for Com3
    QString rate;
    QString model;
    LinkState link = LinkState::NotConnected;
    // The port was opened and has not been lost since (the row's connected image). A failed send
    // or a failed reopen leaves it set; a loss or a new start clears it.
    bool portOpen = false;
    qint64 sent = 0;   // accepted by the network
    qint64 failed = 0; // refused or failed
    qint64 received = 0;
    // AT+CSQ and AT+CREG? as the modem last answered; empty until read, cleared when lost.
    std::optional<int> rssi;
    std::optional<int> ber;
    std::optional<int> registration;
    QString operatorName;
    QDateTime healthAt;
    // The reason of the last failure (open, send, loss) in the operator's words.
    QString lastFailure;
    QDateTime lastSuccess;
    // Only while the sending policy is on.
    std::optional<DeviceQuota> quota;

    bool operator==(const DeviceStatus &) const = default;
};
