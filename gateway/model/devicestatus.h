#pragma once

#include "devicequota.h"

#include <QDateTime>
#include <QString>
#include <optional>

// Where a device's link stands, as the operator's status cell names it: 未连接, 准备连接, 空闲,
// 正在发送, 连接失败,等候再试.
enum class LinkState { NotConnected, Connecting, Idle, Sending, Failed };

// The link state as the API and the console name it to programs.
inline QString linkStateName(LinkState link)
{
    switch (link) {
    case LinkState::NotConnected:
        return QStringLiteral("disconnected");
    case LinkState::Connecting:
        return QStringLiteral("connecting");
    case LinkState::Idle:
        return QStringLiteral("idle");
    case LinkState::Sending:
        return QStringLiteral("sending");
    case LinkState::Failed:
        return QStringLiteral("failed");
    }
    return {};
}

// The modem and its SIM as last read at an open; kept when the device goes down and when the
// list is rebuilt, so that the operator still finds a broken modem's SIM in the rack.
struct KnownIdentity
{
    QString model;
    QString imsi;
    QString imei;
    QString simNumber;
    QDateTime seenAt; // invalid until the device was open once

    bool operator==(const KnownIdentity &) const = default;
};

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
    // The SIM and the modem as the driver read them at open (AT+CIMI, AT+CGSN, AT+CNUM), so the
    // operator finds the SIM in a rack; empty when the modem did not tell.
    QString imsi;
    QString imei;
    QString simNumber;
    // False while the operator took the device out of service: it stays open but gets no rows.
    bool inService = true;
    // The reason of the last failure (open, send, loss) in the operator's words; a refusal
    // reads "+CMS ERROR: 38 网络故障".
    QString lastFailure;
    // The same reason for machines: "cms:38", "permission", "locked", "unregistered",
    // "timeout", "lost"; empty when there is none.
    QString failureCode;
    // When that failure happened: a failure older than lastSuccess is past.
    QDateTime lastFailureAt;
    QDateTime lastSuccess;
    KnownIdentity known;
    // Only while the sending policy is on.
    std::optional<DeviceQuota> quota;
    // The SIM's prepaid balance as USSD last read it, and when; empty until read.
    std::optional<double> balance;
    QDateTime balanceAt;

    bool operator==(const DeviceStatus &) const = default;
};
