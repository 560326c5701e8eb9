#include "statusreport.h"

#include "processfigures.h"

#include "model/devicerow.h"
#include "model/enginestatus.h"
#include "smppcounters.h"
#include "version.h"

#include <algorithm>
#include <optional>

namespace {

QString html(const QString &text)
{
    return text.toHtmlEscaped();
}

// 99 means the modem does not know.
std::optional<int> signalStrength(std::optional<int> rssi)
{
    if (!rssi || *rssi < 0 || *rssi > 31)
        return std::nullopt;
    return rssi;
}

bool up(const DeviceStatus &device)
{
    return device.link == LinkState::Idle || device.link == LinkState::Sending;
}

QString label(const char *name, const QString &value)
{
    return QLatin1String(name) + QStringLiteral("=\"") + StatusReport::labelValue(value)
            + QLatin1Char('"');
}

void family(QString &out, const char *name, const char *type, const char *help)
{
    out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                   .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
}

void sample(QString &out, const char *name, const QString &labels, double value)
{
    out += QLatin1String(name);
    if (!labels.isEmpty())
        out += QLatin1Char('{') + labels + QLatin1Char('}');
    out += QLatin1Char(' ') + QString::number(value, 'g', 15) + QLatin1Char('\n');
}

QString deviceTable(const EngineStatus &status)
{
    QString out = QStringLiteral("<table id=\"devices\"><tr>");
    for (int c = 0; c < DeviceRow::ColumnCount; ++c)
        out += QStringLiteral("<th>%1</th>").arg(html(DeviceRow::heading(c)));
    out += QStringLiteral("<th>网络</th></tr>\n");
    for (const DeviceStatus &device : status.devices) {
        const DeviceRow row = DeviceRow::of(device);
        out += QStringLiteral("<tr>");
        QString state = row.status;
        if (device.quota && device.quota->restingUntil.isValid())
            state += QStringLiteral("，休息至")
                    + device.quota->restingUntil.toString(QStringLiteral("HH:mm"));
        for (const QString &cell :
             {row.portText, row.rate, row.model, row.sent, row.received, state,
              QString(row.health).replace(QLatin1Char('\n'), QStringLiteral("; "))})
            out += QStringLiteral("<td>%1</td>").arg(html(cell));
        out += QStringLiteral("</tr>\n");
    }
    return out + QStringLiteral("</table>\n");
}

// The page's head, its title and the service's state: what every page starts with.
QString pageHead(const EngineStatus &status)
{
    QString out;
    out += QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                          "<meta http-equiv=\"refresh\" content=\"5\">"
                          "<title>%1</title><style>"
                          "body{font-family:sans-serif;margin:1em}"
                          "table{border-collapse:collapse}"
                          "th,td{border:1px solid #bbb;padding:2px 8px;text-align:left}"
                          "pre{background:#f4f4f4;padding:6px;max-height:30em;overflow:auto}"
                          "</style></head><body>\n<h1>%1</h1>\n")
                   .arg(html(QStringLiteral(VELMORA_PRODUCT_TITLE)));
    out += QStringLiteral("<p id=\"service\">%1</p>\n")
                   .arg(status.running ? QStringLiteral("服务运行中")
                                       : QStringLiteral("服务已停止"));
    out += QStringLiteral("<p id=\"console\"><a href=\"/console\">控制台</a></p>\n");
    return out;
}

// The gateway's health in figures: nothing in them names a message, a number or a SIM.
QString figures(const EngineStatus &status)
{
    QString out;
    out += QStringLiteral("<p id=\"queue\">内存剩余短信:%1</p>\n").arg(status.queueLength);
    out += QStringLiteral("<p id=\"database\">数据库:%1</p>\n")
                   .arg(status.databaseUp ? QStringLiteral("已连接") : QStringLiteral("未连接"));
    out += QStringLiteral("<p id=\"spool\">待写入数据库:%1</p>\n").arg(status.spoolEntries);
    if (status.rowsStuck >= 0)
        out += QStringLiteral("<p id=\"stuck\">发送结果未知超过%1分钟:%2</p>\n")
                       .arg(status.stuckAfterMinutes)
                       .arg(status.rowsStuck);
    if (status.webhooksOn)
        out += QStringLiteral("<p id=\"webhooks\">待发送的Webhook事件:%1</p>\n")
                       .arg(status.webhooks.outbox);
    if (const SmppCounters &smpp = SmppCounters::shared(); smpp.listening)
        out += QStringLiteral("<p id=\"smpp\">SMPP会话:%1 已提交:%2 待投递:%3</p>\n")
                       .arg(smpp.sessions)
                       .arg(smpp.submits)
                       .arg(smpp.waiting);
    return out;
}

// One sample per device of a family.
template<typename Value>
void perDevice(QString &out, const EngineStatus &status, const char *name, Value value)
{
    for (int d = 0; d < status.devices.size(); ++d) {
        const DeviceStatus &device = status.devices.at(d);
        const std::optional<double> v = value(device);
        if (v)
            sample(out, name,
                   label("device", QString::number(d)) + QLatin1Char(',')
                           + label("port", QStringLiteral("Com") + device.port),
                   *v);
    }
}

void deviceMetrics(QString &out, const EngineStatus &status)
{
    using Opt = std::optional<double>;
    family(out, "velmora_messages_sent_total", "counter",
           "Messages the GSM network took, per device, since the service started.");
    perDevice(out, status, "velmora_messages_sent_total",
              [](const DeviceStatus &d) { return Opt(double(d.sent)); });
    family(out, "velmora_messages_failed_total", "counter",
           "Messages the modem could not hand to the GSM network, per device.");
    perDevice(out, status, "velmora_messages_failed_total",
              [](const DeviceStatus &d) { return Opt(double(d.failed)); });
    family(out, "velmora_messages_received_total", "counter",
           "Messages received, per device, since the service started.");
    perDevice(out, status, "velmora_messages_received_total",
              [](const DeviceStatus &d) { return Opt(double(d.received)); });
    family(out, "velmora_device_signal", "gauge",
           "Received signal strength indication of AT+CSQ (0..31), per device; absent while "
           "not known.");
    perDevice(out, status, "velmora_device_signal", [](const DeviceStatus &d) {
        const std::optional<int> rssi = signalStrength(d.rssi);
        return rssi ? Opt(*rssi) : std::nullopt;
    });
    family(out, "velmora_device_registered", "gauge",
           "1 while the device's modem is registered with a network (home or roaming), per "
           "device; absent while not known.");
    perDevice(out, status, "velmora_device_registered", [](const DeviceStatus &d) {
        return d.registration ? Opt(*d.registration == 1 || *d.registration == 5 ? 1 : 0)
                              : std::nullopt;
    });
    family(out, "velmora_device_up", "gauge", "1 while the device is connected, per device.");
    perDevice(out, status, "velmora_device_up",
              [](const DeviceStatus &d) { return Opt(up(d) ? 1 : 0); });
    family(out, "velmora_device_balance", "gauge",
           "The SIM's prepaid balance as USSD last read it, per device; absent until read.");
    perDevice(out, status, "velmora_device_balance", [](const DeviceStatus &d) { return d.balance; });
}

// The sending policy's figures of each device, while it is on.
void quotaMetrics(QString &out, const EngineStatus &status)
{
    const auto quotaOf = [&status](int d) {
        return status.devices.at(d).quota;
    };
    // Without the policy the metrics stay as they always were.
    if (std::none_of(status.devices.cbegin(), status.devices.cend(),
                     [](const DeviceStatus &d) { return d.quota.has_value(); }))
        return;
    const auto labels = [&status](int d, const char *period) {
        QString l = label("device", QString::number(d)) + QLatin1Char(',')
                + label("port", QStringLiteral("Com") + status.devices.at(d).port);
        return period ? l + QLatin1Char(',') + label("period", QLatin1String(period)) : l;
    };
    family(out, "velmora_device_quota_used", "gauge",
           "Parts sent in the current hour, day and month, and distinct recipients this month, "
           "per device, while the sending policy is on.");
    for (int d = 0; d < status.devices.size(); ++d) {
        if (const std::optional<DeviceQuota> q = quotaOf(d)) {
            sample(out, "velmora_device_quota_used", labels(d, "hour"), q->hourParts);
            sample(out, "velmora_device_quota_used", labels(d, "day"), q->dayParts);
            sample(out, "velmora_device_quota_used", labels(d, "month"), q->monthParts);
            sample(out, "velmora_device_quota_used", labels(d, "recipients"), q->monthRecipients);
        }
    }
    family(out, "velmora_device_quota_limit", "gauge",
           "The limit of each period, per device; absent for a period without one.");
    for (int d = 0; d < status.devices.size(); ++d) {
        const std::optional<DeviceQuota> q = quotaOf(d);
        if (!q)
            continue;
        for (const auto &[period, limit] : {std::pair{"hour", q->hourLimit},
                                            {"day", q->dayLimit},
                                            {"month", q->monthLimit},
                                            {"recipients", q->recipientLimit}}) {
            if (limit > 0)
                sample(out, "velmora_device_quota_limit", labels(d, period), limit);
        }
    }
    family(out, "velmora_device_resting", "gauge",
           "1 while the device rests at a limit until its period begins anew, per device.");
    for (int d = 0; d < status.devices.size(); ++d) {
        if (const std::optional<DeviceQuota> q = quotaOf(d))
            sample(out, "velmora_device_resting", labels(d, nullptr),
                   q->restingUntil.isValid() ? 1 : 0);
    }
}

void gatewayMetrics(QString &out, const EngineStatus &status)
{
    family(out, "velmora_devices_up", "gauge", "Devices connected.");
    sample(out, "velmora_devices_up", {}, status.devicesUp());
    family(out, "velmora_queue_length", "gauge", "Messages loaded and waiting for a modem.");
    sample(out, "velmora_queue_length", {}, status.queueLength);
    family(out, "velmora_spool_entries", "gauge", "Writes waiting for the database.");
    sample(out, "velmora_spool_entries", {}, status.spoolEntries);
    family(out, "velmora_database_up", "gauge", "1 while the database is connected.");
    sample(out, "velmora_database_up", {}, status.databaseUp ? 1 : 0);
    family(out, "velmora_can_send", "gauge",
           "1 while the service runs and can send: database, queue and a device are usable.");
    sample(out, "velmora_can_send", {}, StatusReport::unavailable(status).isEmpty() ? 1 : 0);
    if (status.rowsStuck >= 0) {
        family(out, "velmora_rows_stuck", "gauge",
               "Rows at 1 (handed to a modem, outcome unknown) for longer than [Service] "
               "StuckAfter, as of the last supervision tick.");
        sample(out, "velmora_rows_stuck", {}, double(status.rowsStuck));
    }
    if (status.webhooksOn) {
        family(out, "velmora_webhook_deliveries_total", "counter",
               "Webhook tries by result: delivered (2xx), failed (to be tried again), dropped "
               "(given up after the retry period).");
        sample(out, "velmora_webhook_deliveries_total",
               label("result", QStringLiteral("delivered")), double(status.webhooks.delivered));
        sample(out, "velmora_webhook_deliveries_total", label("result", QStringLiteral("failed")),
               double(status.webhooks.failed));
        sample(out, "velmora_webhook_deliveries_total", label("result", QStringLiteral("dropped")),
               double(status.webhooks.dropped));
        family(out, "velmora_webhook_outbox", "gauge", "Webhook events waiting for a receiver.");
        sample(out, "velmora_webhook_outbox", {}, double(status.webhooks.outbox));
    }
    family(out, "velmora_claims_lost_total", "counter",
           "Rows of a shared queue that another gateway claimed first.");
    sample(out, "velmora_claims_lost_total", {}, double(status.claimsLost));
    if (status.sharedQueue && status.databaseUp) {
        family(out, "velmora_rows_handed", "gauge",
               "Rows at 1 in a shared queue by the gateway that claimed them, as of the last "
               "supervision tick.");
        for (const auto &[name, count] : status.handedByGateway)
            sample(out, "velmora_rows_handed", label("gateway", name), double(count));
    }
}

void durationMetrics(QString &out, const SendDurations &timings)
{
    family(out, "velmora_send_duration_seconds", "histogram",
           "Time from handing a message to a modem to its result, since the service started.");
    for (int i = 0; i < int(SendDurations::Bounds.size()); ++i)
        sample(out, "velmora_send_duration_seconds_bucket",
               label("le", QString::number(SendDurations::Bounds[std::size_t(i)])),
               double(timings.countAtMost(i)));
    sample(out, "velmora_send_duration_seconds_bucket", label("le", QStringLiteral("+Inf")),
           double(timings.count));
    sample(out, "velmora_send_duration_seconds_sum", {}, timings.sum);
    sample(out, "velmora_send_duration_seconds_count", {}, double(timings.count));
}

void processMetrics(QString &out, const ProcessFigures &p)
{
    family(out, "velmora_build_info", "gauge", "The running program's version, as a label.");
    sample(out, "velmora_build_info", label("version", QStringLiteral(VELMORA_VERSION_TEXT)), 1);
    const auto figure = [&out](const char *name, const char *type, const char *help, double v) {
        if (v < 0)
            return;
        family(out, name, type, help);
        sample(out, name, {}, v);
    };
    figure("process_cpu_seconds_total", "counter",
           "Total user and system CPU time spent in seconds.", p.cpuSeconds);
    figure("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
           double(p.residentBytes));
    figure("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.",
           double(p.virtualBytes));
    figure("process_open_fds", "gauge", "Number of open file descriptors.", double(p.openFds));
    figure("process_max_fds", "gauge", "Maximum number of open file descriptors.",
           double(p.maxFds));
    figure("process_start_time_seconds", "gauge",
           "Start time of the process since unix epoch in seconds.", p.startTimeSeconds);
}

} // namespace

namespace StatusReport {

QString labelValue(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return out;
}

QString unavailable(const EngineStatus &status)
{
    if (!status.running)
        return QStringLiteral("服务已停止");
    if (!status.databaseUp)
        return QStringLiteral("数据库未连接");
    return status.cannotSend;
}

QByteArray page(const EngineStatus &status, const QStringList &logLines)
{
    QString out = pageHead(status);
    out += deviceTable(status);
    out += figures(status);
    if (status.sharedQueue && status.databaseUp) {
        QStringList handed;
        for (const auto &[name, count] : status.handedByGateway)
            handed << html(name) + QLatin1Char(':') + QString::number(count);
        out += QStringLiteral("<p id=\"handed\">已认领未完成:%1</p>\n")
                       .arg(handed.join(QStringLiteral(", ")));
    }
    // The newest lines are the ones worth seeing at each refresh. A received text's own line
    // breaks stay inside its line, as a mark, so that a line is always one entry of the log.
    QStringList entries;
    entries.reserve(logLines.size());
    for (const QString &line : logLines) {
        QString entry = line;
        entries << entry.replace(QStringLiteral("\r\n"), QStringLiteral(" ⏎ "))
                           .replace(QLatin1Char('\n'), QStringLiteral(" ⏎ "));
    }
    out += QStringLiteral("<pre id=\"log\">%1</pre>\n<script>const log = "
                          "document.getElementById('log'); log.scrollTop = log.scrollHeight;"
                          "</script>\n</body></html>\n")
                   .arg(html(entries.join(QLatin1Char('\n'))));
    return out.toUtf8();
}

QByteArray healthPage(const EngineStatus &status)
{
    QString out = pageHead(status);
    out += QStringLiteral("<p id=\"devices\">已连接设备:%1/%2</p>\n")
                   .arg(status.devicesUp())
                   .arg(status.devices.size());
    out += figures(status);
    out += QStringLiteral("<p id=\"token\">设备、短信与日志需要令牌：请在控制台中填写令牌查看。</p>\n"
                          "</body></html>\n");
    return out.toUtf8();
}

QByteArray metrics(const EngineStatus &status, const ProcessFigures &process)
{
    QString out;
    deviceMetrics(out, status);
    quotaMetrics(out, status);
    gatewayMetrics(out, status);
    durationMetrics(out, status.sendDurations);
    processMetrics(out, process);
    out += SmppCounters::shared().metricsText();
    return out.toUtf8();
}

} // namespace StatusReport
