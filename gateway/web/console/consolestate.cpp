#include "consolestate.h"

#include "status/smppcounters.h"

#include "model/devicerow.h"
#include "model/enginehistory.h"
#include "model/enginestatus.h"
#include "status/statusreport.h"
#include "version.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonValue time(const QDateTime &at)
{
    return at.isValid() ? QJsonValue(at.toMSecsSinceEpoch()) : QJsonValue();
}

QJsonValue number(std::optional<int> value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

// -1 is how the engine says it does not know yet; the page shows a dash for null.
QJsonValue known(qint64 value)
{
    return value >= 0 ? QJsonValue(value) : QJsonValue();
}

QJsonObject queue(const QueueFigures &q)
{
    QJsonArray stuck;
    for (const StuckRow &row : q.stuck)
        stuck.append(QJsonObject{{QStringLiteral("id"), row.id},
                                 {QStringLiteral("number"), row.number},
                                 {QStringLiteral("device"), row.device},
                                 {QStringLiteral("since"), time(row.since)}});
    return {{QStringLiteral("waiting"), known(q.waiting)},
            {QStringLiteral("handed"), known(q.handed)},
            {QStringLiteral("stuck"), stuck},
            {QStringLiteral("failedLastHour"), known(q.failedLastHour)},
            {QStringLiteral("failedLastDay"), known(q.failedLastDay)},
            {QStringLiteral("oldestWaitingSeconds"), known(q.oldestWaitingSeconds)},
            {QStringLiteral("readAt"), time(q.readAt)}};
}

QJsonObject webhooks(const EngineStatus &s)
{
    if (!s.webhooksOn)
        return {};
    return {{QStringLiteral("outbox"), qint64(s.webhooks.outbox)},
            {QStringLiteral("delivered"), qint64(s.webhooks.delivered)},
            {QStringLiteral("failed"), qint64(s.webhooks.failed)},
            {QStringLiteral("dropped"), qint64(s.webhooks.dropped)}};
}

QJsonArray handed(const EngineStatus &s)
{
    QJsonArray out;
    if (!s.sharedQueue)
        return out;
    for (const auto &[name, count] : s.handedByGateway)
        out.append(QJsonObject{{QStringLiteral("gateway"), name}, {QStringLiteral("rows"), count}});
    return out;
}

QJsonArray column(const QList<HistoryMinute> &minutes, double (*value)(const HistoryMinute &))
{
    QJsonArray out;
    for (const HistoryMinute &m : minutes)
        out.append(value(m));
    return out;
}

// The SMPP server's sessions and traffic; null while it does not listen.
QJsonValue smpp()
{
    const SmppCounters &c = SmppCounters::shared();
    if (!c.listening)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("sessions"), c.sessions},
                       {QStringLiteral("submits"), c.submits},
                       {QStringLiteral("delivered"), c.delivered},
                       {QStringLiteral("waiting"), c.waiting}};
}

} // namespace

namespace ConsoleState {

std::optional<int> dbm(std::optional<int> rssi)
{
    if (!rssi || *rssi < 0 || *rssi > 31)
        return std::nullopt;
    return -113 + 2 * *rssi;
}

std::optional<int> bars(std::optional<int> rssi)
{
    if (!rssi || *rssi < 0 || *rssi > 31)
        return std::nullopt;
    // About -101, -93, -83 and -73 dBm, where a modem's sends go from rare to sure.
    return *rssi >= 20 ? 4 : *rssi >= 15 ? 3 : *rssi >= 10 ? 2 : *rssi >= 6 ? 1 : 0;
}

QString registrationText(std::optional<int> registration)
{
    static const QStringList words{QStringLiteral("未注册"),       QStringLiteral("已注册"),
                                   QStringLiteral("正在搜索网络"), QStringLiteral("注册被拒绝"),
                                   QStringLiteral("未知"),         QStringLiteral("已注册(漫游)")};
    if (!registration)
        return QStringLiteral("-");
    return words.value(*registration, QString::number(*registration));
}

static bool registeredOrUnknown(const DeviceStatus &d)
{
    return !d.registration || *d.registration == 1 || *d.registration == 5;
}

static bool linkUp(const DeviceStatus &d)
{
    return d.link == LinkState::Idle || d.link == LinkState::Sending;
}

bool sendable(const DeviceStatus &d)
{
    return linkUp(d) && d.inService && registeredOrUnknown(d);
}

bool trouble(const DeviceStatus &d)
{
    if (!d.inService || d.link == LinkState::Failed)
        return true;
    return linkUp(d) && !registeredOrUnknown(d);
}

bool failurePast(const DeviceStatus &d)
{
    if (d.lastFailure.isEmpty() || !d.lastFailureAt.isValid())
        return false;
    if (d.lastSuccess.isValid() && d.lastSuccess > d.lastFailureAt)
        return true;
    return linkUp(d) && d.known.seenAt.isValid() && d.known.seenAt > d.lastFailureAt;
}

QJsonObject device(const DeviceStatus &d)
{
    // A device that is not open shows what its modem and SIM were when last seen, with that
    // time, rather than nothing: that is when the operator looks for it in the rack.
    const bool remembered = !linkUp(d) && d.known.seenAt.isValid();
    const KnownIdentity shown = remembered
            ? d.known
            : KnownIdentity{d.model, d.imsi, d.imei, d.simNumber, {}};
    QJsonObject out{{QStringLiteral("port"), d.port},
                    {QStringLiteral("name"), QStringLiteral("Com") + d.port},
                    {QStringLiteral("model"), shown.model},
                    {QStringLiteral("link"), linkStateName(d.link)},
                    {QStringLiteral("state"), DeviceRow::linkText(d.link)},
                    {QStringLiteral("trouble"), trouble(d)},
                    {QStringLiteral("up"), sendable(d)},
                    {QStringLiteral("registered"), registeredOrUnknown(d)},
                    {QStringLiteral("inService"), d.inService},
                    {QStringLiteral("simNumber"), shown.simNumber},
                    {QStringLiteral("imsi"), shown.imsi},
                    {QStringLiteral("imei"), shown.imei},
                    {QStringLiteral("reason"), d.lastFailure},
                    {QStringLiteral("reasonAt"), time(d.lastFailureAt)},
                    {QStringLiteral("reasonPast"), failurePast(d)},
                    {QStringLiteral("failureCode"), d.failureCode},
                    {QStringLiteral("rssi"), number(d.rssi)},
                    {QStringLiteral("dbm"), number(dbm(d.rssi))},
                    {QStringLiteral("bars"), number(bars(d.rssi))},
                    {QStringLiteral("healthAt"), time(d.healthAt)},
                    {QStringLiteral("registration"), registrationText(d.registration)},
                    {QStringLiteral("operator"), d.operatorName},
                    {QStringLiteral("sent"), d.sent},
                    {QStringLiteral("failed"), d.failed},
                    {QStringLiteral("received"), d.received},
                    {QStringLiteral("lastSuccess"), time(d.lastSuccess)}};
    if (remembered)
        out.insert(QStringLiteral("identitySeenAt"), time(d.known.seenAt));
    if (d.quota && d.quota->restingUntil.isValid())
        out.insert(QStringLiteral("restingUntil"), time(d.quota->restingUntil));
    if (d.balance) {
        out.insert(QStringLiteral("balance"), *d.balance);
        out.insert(QStringLiteral("balanceAt"), time(d.balanceAt));
    }
    return out;
}

QString health(const EngineStatus &s, int sendableCount)
{
    if (!s.running)
        return QStringLiteral("stopped");
    if (!StatusReport::unavailable(s).isEmpty() || sendableCount == 0)
        return QStringLiteral("down");
    return sendableCount < s.devices.size() ? QStringLiteral("degraded") : QStringLiteral("ok");
}

QJsonObject state(const EngineStatus &s)
{
    QJsonArray devices;
    int sendableCount = 0;
    for (const DeviceStatus &d : s.devices) {
        devices.append(device(d));
        sendableCount += sendable(d);
    }
    return {{QStringLiteral("running"), s.running},
            {QStringLiteral("health"), health(s, sendableCount)},
            {QStringLiteral("devicesSendable"), sendableCount},
            {QStringLiteral("cannotSend"), StatusReport::unavailable(s)},
            {QStringLiteral("databaseUp"), s.databaseUp},
            {QStringLiteral("databaseReason"), s.databaseReason},
            {QStringLiteral("version"), QStringLiteral(VELMORA_VERSION_TEXT)},
            {QStringLiteral("databaseVersion"), s.version},
            {QStringLiteral("startedAt"), time(s.startedAt)},
            {QStringLiteral("lastPoll"), time(s.lastPoll)},
            {QStringLiteral("queueLength"), s.queueLength},
            {QStringLiteral("spool"), s.spoolEntries},
            {QStringLiteral("webhooks"), webhooks(s)},
            {QStringLiteral("sharedQueue"), s.sharedQueue},
            {QStringLiteral("handedByGateway"), handed(s)},
            {QStringLiteral("claimsLost"), s.claimsLost},
            {QStringLiteral("stuckAfterMinutes"), s.stuckAfterMinutes},
            {QStringLiteral("rowsStuck"), known(s.rowsStuck)},
            {QStringLiteral("queue"), queue(s.queue)},
            {QStringLiteral("devicesUp"), s.devicesUp()},
            {QStringLiteral("smpp"), smpp()},
            {QStringLiteral("devices"), devices}};
}

QJsonObject history(const QList<HistoryMinute> &minutes, const QString &port)
{
    QJsonArray at;
    for (const HistoryMinute &m : minutes)
        at.append(time(m.minute));
    return {{QStringLiteral("port"), port},
            {QStringLiteral("minutes"), at},
            {QStringLiteral("sent"),
             column(minutes, [](const HistoryMinute &m) { return double(m.sent); })},
            {QStringLiteral("failed"),
             column(minutes, [](const HistoryMinute &m) { return double(m.failed); })},
            {QStringLiteral("received"),
             column(minutes, [](const HistoryMinute &m) { return double(m.received); })},
            {QStringLiteral("queue"),
             column(minutes, [](const HistoryMinute &m) { return double(m.queueLength); })},
            {QStringLiteral("p50"),
             column(minutes, [](const HistoryMinute &m) { return m.sendP50; })},
            {QStringLiteral("p90"),
             column(minutes, [](const HistoryMinute &m) { return m.sendP90; })},
            {QStringLiteral("p99"),
             column(minutes, [](const HistoryMinute &m) { return m.sendP99; })}};
}

QByteArray message(const char *type, qint64 now, const QByteArray &body)
{
    QByteArray out = QByteArrayLiteral("{\"type\":\"") + type + QByteArrayLiteral("\",\"now\":")
            + QByteArray::number(now);
    if (body.size() > 2)
        return out + ',' + body.mid(1);
    return out + '}';
}

} // namespace ConsoleState
