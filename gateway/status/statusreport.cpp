#include "statusreport.h"

#include "sendtimings.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "engine/gateway.h"
#include "messaging/messageflow.h"

#include <QStringList>
#include <optional>

namespace {

QString html(const QString &text)
{
    return text.toHtmlEscaped();
}

// Label values may hold anything the configuration holds.
QString labelValue(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return out;
}

// 99 means the modem does not know.
std::optional<int> signalStrength(std::optional<int> rssi)
{
    if (!rssi || *rssi < 0 || *rssi > 31)
        return std::nullopt;
    return rssi;
}

int devicesUp(Gateway &gateway)
{
    int up = 0;
    for (int d = 0; d < gateway.devices().rowCount() && d < DevicePool::Count; ++d) {
        if (gateway.pool().state(d) != DeviceState::Offline)
            ++up;
    }
    return up;
}

bool databaseUp(Gateway &gateway)
{
    return gateway.flow().store().db().isOpen();
}

QStringList lastLogLines(Gateway &gateway, int count)
{
    QStringList lines = gateway.log().text().split(QStringLiteral("\r\n"));
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines;
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

} // namespace

namespace StatusReport {

bool healthy(Gateway &gateway)
{
    return gateway.ServiceRunning() && databaseUp(gateway);
}

QByteArray page(Gateway &gateway)
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
                   .arg(html(Gateway::title()));
    out += QStringLiteral("<p id=\"service\">%1</p>\n")
                   .arg(gateway.ServiceRunning() ? QStringLiteral("服务运行中")
                                                 : QStringLiteral("服务已停止"));
    out += QStringLiteral("<table id=\"devices\"><tr>");
    for (int c = 0; c < DeviceTable::ColumnCount; ++c)
        out += QStringLiteral("<th>%1</th>").arg(html(DeviceTable::heading(c)));
    out += QStringLiteral("<th>网络</th></tr>\n");
    for (const DeviceRow &row : gateway.devices().rows()) {
        out += QStringLiteral("<tr>");
        for (const QString &cell :
             {row.portText, row.rate, row.model, row.sent, row.received, row.status,
              QString(row.health).replace(QLatin1Char('\n'), QStringLiteral("; "))})
            out += QStringLiteral("<td>%1</td>").arg(html(cell));
        out += QStringLiteral("</tr>\n");
    }
    out += QStringLiteral("</table>\n");
    out += QStringLiteral("<p id=\"queue\">内存剩余短信:%1</p>\n")
                   .arg(gateway.flow().queueLength());
    out += QStringLiteral("<p id=\"database\">数据库:%1</p>\n")
                   .arg(databaseUp(gateway) ? QStringLiteral("已连接") : QStringLiteral("未连接"));
    out += QStringLiteral("<p id=\"spool\">待写入数据库:%1</p>\n")
                   .arg(gateway.flow().store().spool().size());
    if (!gateway.settings().GatewayName.isEmpty() && databaseUp(gateway)) {
        QStringList handed;
        for (const auto &[name, count] : gateway.flow().claims().handedByGateway())
            handed << html(name) + QLatin1Char(':') + QString::number(count);
        out += QStringLiteral("<p id=\"handed\">已认领未完成:%1</p>\n")
                       .arg(handed.join(QStringLiteral(", ")));
    }
    // The newest lines are the ones worth seeing at each refresh.
    out += QStringLiteral("<pre id=\"log\">%1</pre>\n<script>const log = "
                          "document.getElementById('log'); log.scrollTop = log.scrollHeight;"
                          "</script>\n</body></html>\n")
                   .arg(html(lastLogLines(gateway, PageLogLines).join(QLatin1Char('\n'))));
    return out.toUtf8();
}

QByteArray metrics(Gateway &gateway)
{
    const QList<DeviceRow> &rows = gateway.devices().rows();
    const QList<DeviceStatus> &devices = gateway.devices().statuses();
    auto labels = [&](int d) {
        return QStringLiteral("device=\"%1\",port=\"%2\"")
                .arg(d)
                .arg(labelValue(rows.at(d).portText));
    };
    QString out;
    family(out, "velmora_messages_sent_total", "counter",
           "Messages the GSM network took, per device, since the service started.");
    for (int d = 0; d < rows.size(); ++d)
        sample(out, "velmora_messages_sent_total", labels(d), double(devices.at(d).sent));
    family(out, "velmora_messages_failed_total", "counter",
           "Messages the modem could not hand to the GSM network, per device.");
    for (int d = 0; d < rows.size(); ++d)
        sample(out, "velmora_messages_failed_total", labels(d), double(devices.at(d).failed));
    family(out, "velmora_messages_received_total", "counter",
           "Messages received, per device, since the service started.");
    for (int d = 0; d < rows.size(); ++d)
        sample(out, "velmora_messages_received_total", labels(d), double(devices.at(d).received));

    family(out, "velmora_device_signal", "gauge",
           "Received signal strength indication of AT+CSQ (0..31), per device; absent while "
           "not known.");
    for (int d = 0; d < rows.size(); ++d) {
        if (const std::optional<int> rssi = signalStrength(devices.at(d).rssi))
            sample(out, "velmora_device_signal", labels(d), *rssi);
    }
    family(out, "velmora_device_registered", "gauge",
           "1 while the device's modem is registered with a network (home or roaming), per "
           "device; absent while not known.");
    for (int d = 0; d < rows.size(); ++d) {
        const std::optional<int> stat = devices.at(d).registration;
        if (stat)
            sample(out, "velmora_device_registered", labels(d), *stat == 1 || *stat == 5 ? 1 : 0);
    }

    family(out, "velmora_devices_up", "gauge", "Devices connected.");
    sample(out, "velmora_devices_up", {}, devicesUp(gateway));
    family(out, "velmora_queue_length", "gauge", "Messages loaded and waiting for a modem.");
    sample(out, "velmora_queue_length", {}, gateway.flow().queueLength());
    family(out, "velmora_spool_entries", "gauge", "Writes waiting for the database.");
    sample(out, "velmora_spool_entries", {}, double(gateway.flow().store().spool().size()));
    family(out, "velmora_database_up", "gauge", "1 while the database is connected.");
    sample(out, "velmora_database_up", {}, databaseUp(gateway) ? 1 : 0);
    family(out, "velmora_claims_lost_total", "counter",
           "Rows of a shared queue that another gateway claimed first.");
    sample(out, "velmora_claims_lost_total", {}, double(gateway.flow().claims().lostClaims()));
    if (!gateway.settings().GatewayName.isEmpty() && databaseUp(gateway)) {
        family(out, "velmora_rows_handed", "gauge",
               "Rows at 1 in a shared queue by the gateway that claimed them.");
        for (const auto &[name, count] : gateway.flow().claims().handedByGateway()) {
            QString label = name;
            label.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
                    .replace(QLatin1Char('"'), QStringLiteral("\\\""));
            sample(out, "velmora_rows_handed", QStringLiteral("gateway=\"%1\"").arg(label),
                   double(count));
        }
    }

    const SendTimings &timings = gateway.sendTimings();
    family(out, "velmora_send_duration_seconds", "histogram",
           "Time from handing a message to a modem to its result.");
    for (int i = 0; i < int(SendTimings::Bounds.size()); ++i)
        sample(out, "velmora_send_duration_seconds_bucket",
               QStringLiteral("le=\"%1\"").arg(SendTimings::Bounds[std::size_t(i)]),
               double(timings.countAtMost(i)));
    sample(out, "velmora_send_duration_seconds_bucket", QStringLiteral("le=\"+Inf\""),
           double(timings.count()));
    sample(out, "velmora_send_duration_seconds_sum", {}, timings.sumSeconds());
    sample(out, "velmora_send_duration_seconds_count", {}, double(timings.count()));
    return out.toUtf8();
}

} // namespace StatusReport
