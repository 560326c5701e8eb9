#include "sendingpolicy.h"

#include "messageparts.h"

#include "common/clock.h"
#include "core/devicepool.h"
#include "core/settings.h"
#include "storage/queuedmessage.h"

#include <QScopeGuard>

namespace {

QString restText(const DeviceRest &rest)
{
    switch (rest.cause) {
    case DeviceRest::Cause::HourParts:
        return QStringLiteral("达到每小时%1条的上限").arg(rest.limit);
    case DeviceRest::Cause::DayParts:
        return QStringLiteral("达到每日%1条的上限").arg(rest.limit);
    case DeviceRest::Cause::MonthParts:
        return QStringLiteral("达到每月%1条的上限").arg(rest.limit);
    case DeviceRest::Cause::MonthRecipients:
        return QStringLiteral("达到每月%1个收件人的上限").arg(rest.limit);
    }
    return {};
}

} // namespace

SendingPolicy::SendingPolicy(const Settings &settings, const DevicePool &pool, const Clock &clock,
                             QString programDir, Log log)
    : m_settings(settings), m_pool(pool), m_clock(clock), m_programDir(std::move(programDir)),
      m_log(std::move(log))
{ }

SendingPolicy::~SendingPolicy()
{
    settle();
}

bool SendingPolicy::enabled() const
{
    return m_settings.Policy.enabled;
}

QString SendingPolicy::journalPath(const QString &programDir, const QString &gatewayName,
                                   const QString &base)
{
    QString name;
    for (const QChar c : gatewayName)
        name += c.isLetterOrNumber() || c == QLatin1Char('-') ? c : QLatin1Char('_');
    return programDir + QLatin1Char('/') + base
            + (name.isEmpty() ? QString() : QLatin1Char('-') + name) + QStringLiteral(".log");
}

void SendingPolicy::prepare()
{
    // The journal is not touched while lines are on their way into it.
    settle();
    const PolicyConfig &config = m_settings.Policy;
    const ResetSchedule schedule(config.resetTime, config.resetDay);
    if (!m_journal || m_pathsFor != m_settings.GatewayName) {
        m_pathsFor = m_settings.GatewayName;
        m_countsPath = journalPath(m_programDir, m_pathsFor);
        m_refusalsPath = journalPath(m_programDir, m_pathsFor, QStringLiteral("Refusals"));
    }
    const QString &path = m_countsPath;
    // The messages to each number are kept only for the guard that needs them.
    const bool numbers = config.recipientLimit > 0;
    if (!m_journal || m_journal->path() != path || !(m_counts.schedule() == schedule)
        || m_counts.keepsNumbers() != numbers) {
        m_journal = std::make_unique<SendJournal>(path);
        m_counts = SendCounts(schedule, numbers);
        for (const SendRecord &r : m_journal->load())
            m_counts.add(r);
        m_compactedMonth = -1;
    }
    const QString &refusals = m_refusalsPath;
    if (!m_refusals || m_refusals->path() != refusals)
        m_refusals = std::make_unique<RefusalJournal>(refusals);
    const qint64 now = m_clock.secsSinceEpoch();
    if (m_counts.periodStart(QuotaPeriod::Month, now) != m_compactedMonth)
        compact();
    // Messages older than the guard's window no longer count: a busy pool sends to millions
    // of numbers in a month.
    if (numbers && now - m_numbersPrunedAt >= 60) {
        m_counts.dropRecipientsBefore(now - 60LL * config.recipientWindowMinutes);
        m_numbersPrunedAt = now;
    }
    const int count = m_settings.DeviceCount;
    m_rests.resize(count);
    m_routeDown.resize(config.groups.size());
}

void SendingPolicy::compact()
{
    const QDateTime now = m_clock.now();
    const qint64 month = m_counts.periodStart(QuotaPeriod::Month, now.toSecsSinceEpoch());
    const qint64 window = now.toSecsSinceEpoch() - 60LL * m_settings.Policy.recipientWindowMinutes;
    const qint64 keepFrom = std::min(month, window);
    QList<SendRecord> records = m_journal->load();
    records.removeIf([keepFrom](const SendRecord &r) { return r.at < keepFrom; });
    QString error;
    if (!m_journal->rewrite(records, &error))
        m_log(QStringLiteral("整理发送计数文件%1失败：%2").arg(m_journal->path(), error));
    m_counts.dropRecipientsBefore(window);
    m_compactedMonth = month;
}

const QList<PolicyDevice> &SendingPolicy::devices(const QList<int> &held)
{
    const int count = m_settings.DeviceCount;
    if (m_devices.size() != count || !m_ports.isSharedWith(m_settings.DevicePorts)) {
        m_ports = m_settings.DevicePorts;
        m_devices.resize(count);
        for (int d = 0; d < count; ++d)
            m_devices[d].port = m_ports.value(d);
    }
    PolicyDevice *device = m_devices.data();
    for (int d = 0; d < count; ++d) {
        device[d].online = m_pool.state(d) != DeviceState::Offline;
        device[d].free = m_pool.takesMessages(d) && !(m_stopped && m_stopped(d));
    }
    for (int d : held) {
        if (d >= 0 && d < count)
            device[d].free = false;
    }
    return m_devices;
}

PolicyRow SendingPolicy::rowOf(QueuedMessage &row)
{
    if (row.parts == 0)
        row.parts = messageParts(row.SMSContent);
    return {row.CellNumber, row.parts, row.refusedBy, row.route};
}

void SendingPolicy::dispatch(QList<QueuedMessage> &queue, const HandOverRow &handOver,
                             const RefuseRow &refuse, const QList<int> &held)
{
    prepare();
    const qint64 now = m_clock.secsSinceEpoch();
    SendPolicy policy(m_settings.Policy, m_counts, devices(held), now);
    QList<int> aheadDevices;
    QList<PolicyRow> aheadRows;
    QStringList aheadKeys;
    m_inPass = true;
    const auto passOver = qScopeGuard([&] {
        m_inPass = false;
        m_countedInPass.clear();
        countAhead(aheadDevices, aheadRows, aheadKeys);
    });
    reportRests(policy, now);
    reportRoutes();
    // Element 0 is the queue's placeholder.
    for (qsizetype at = queue.size() - 1; at >= 1 && policy.routeOpen(-1); --at) {
        QueuedMessage &row = queue[at];
        if (row.route == -2)
            row.route = m_settings.Policy.routeOf(row.CellNumber);
        if (!policy.routeOpen(row.route))
            continue;
        const PolicyRow asked = rowOf(row);
        const PolicyDecision decision = policy.decide(asked);
        if (decision.kind == PolicyDecision::Kind::Refuse) {
            m_log(QStringLiteral("短信(SysNo=%1)未发送：%2分钟内发往%3的短信已达%4条上限")
                          .arg(row.SysNo)
                          .arg(m_settings.Policy.recipientWindowMinutes)
                          .arg(row.CellNumber)
                          .arg(m_settings.Policy.recipientLimit));
            refuse(at, QStringLiteral("rate limited"), m_clock.now());
            continue;
        }
        if (decision.kind != PolicyDecision::Kind::Send)
            continue;
        // The hand-over takes the row out of the queue.
        const QString sysNo = row.SysNo;
        switch (handOver(decision.device, at)) {
        case HandOver::Taken:
            policy.taken(decision.device, asked);
            if (!m_countedInPass.remove(sysNo)) {
                aheadDevices << decision.device;
                aheadRows << asked;
                aheadKeys << sysNo;
            }
            break;
        case HandOver::NotTaken:
            policy.unavailable(decision.device);
            break;
        case HandOver::Gone:
            break;
        case HandOver::Stop:
            return;
        }
    }
}

void SendingPolicy::handedOver(int d, const QueuedMessage &row)
{
    handedOver(QList<int>{d}, QList<QueuedMessage>{row});
}

void SendingPolicy::handedOver(const QList<int> &devices, const QList<QueuedMessage> &rows)
{
    if (!enabled() || rows.isEmpty())
        return;
    // Rows counted as their pass ended are on the disk once this returns.
    settle();
    QList<int> others;
    QList<QueuedMessage> otherRows;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (m_countedAhead.remove(rows.at(i).SysNo))
            continue;
        others << devices.at(i);
        otherRows << rows.at(i);
        if (m_inPass)
            m_countedInPass.insert(rows.at(i).SysNo);
    }
    if (otherRows.isEmpty())
        return;
    prepare();
    const qint64 now = m_clock.secsSinceEpoch();
    QList<SendRecord> records;
    records.reserve(otherRows.size());
    for (qsizetype i = 0; i < otherRows.size(); ++i)
        records.append({now, m_settings.DevicePorts.value(others.at(i)),
                        qMax(1, otherRows.at(i).parts), otherRows.at(i).CellNumber});
    QString error;
    if (!m_journal->append(records, &error))
        m_log(QStringLiteral("写入发送计数文件%1失败：%2").arg(m_journal->path(), error));
    count(records, others);
}

void SendingPolicy::countAhead(const QList<int> &devices, const QList<PolicyRow> &rows,
                               const QStringList &sysNos)
{
    if (rows.isEmpty())
        return;
    settle();
    const qint64 now = m_clock.secsSinceEpoch();
    QList<SendRecord> records;
    records.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        records.append({now, m_settings.DevicePorts.value(devices.at(i)), qMax(1, rows.at(i).parts),
                        rows.at(i).number});
    m_writer.start([journal = m_journal.get(), records] {
        QString error;
        return journal->append(records, &error) ? QString() : error;
    });
    for (const QString &sysNo : sysNos)
        m_countedAhead.insert(sysNo);
    count(records, devices);
}

void SendingPolicy::settle()
{
    const QString error = m_writer.wait();
    if (!error.isEmpty())
        m_log(QStringLiteral("写入发送计数文件%1失败：%2").arg(m_journal->path(), error));
}

void SendingPolicy::count(const QList<SendRecord> &records, const QList<int> &devices)
{
    const qint64 now = m_clock.secsSinceEpoch();
    for (qsizetype i = 0; i < records.size(); ++i) {
        m_counts.add(records.at(i));
        const int d = devices.at(i);
        if (!m_counted.contains(d))
            m_counted.append(d);
        const PolicyLimits &limits = m_settings.Policy.limitsOf(d);
        if (limits.minGapSeconds > 0 || limits.randomGapSeconds > 0) {
            const int extra = limits.randomGapSeconds > 0
                    ? int(m_random() % unsigned(limits.randomGapSeconds + 1))
                    : 0;
            if (d < m_devices.size())
                m_devices[d].pacedUntil =
                        QDateTime::fromSecsSinceEpoch(now + limits.minGapSeconds + extra);
        }
    }
}

bool SendingPolicy::retryElsewhere(int d, QueuedMessage &row, bool refusedForCertain)
{
    if (!enabled() || !refusedForCertain)
        return false;
    row.refusedBy.append(d);
    if (row.refusedBy.size() >= m_settings.Policy.attempts)
        return false;
    prepare();
    if (!SendPolicy(m_settings.Policy, m_counts, devices(), m_clock.secsSinceEpoch())
                 .anotherDeviceFor(rowOf(row)))
        return false;
    QString error;
    if (!m_refusals->add(row.SysNo, m_settings.DevicePorts.value(d), &error))
        m_log(QStringLiteral("写入拒发记录文件%1失败：%2").arg(m_refusals->path(), error));
    return true;
}

void SendingPolicy::recallRefusals(QList<QueuedMessage> &rows)
{
    if (!enabled())
        return;
    prepare();
    if (m_refusals->isEmpty())
        return;
    for (QueuedMessage &row : rows) {
        const QStringList ports = m_refusals->refusedBy(row.SysNo);
        if (ports.isEmpty())
            continue;
        // A port no longer configured still counts as an attempt spent.
        row.refusedBy.clear();
        for (const QString &port : ports)
            row.refusedBy.append(int(m_settings.DevicePorts.indexOf(port)));
    }
}

void SendingPolicy::rowEnded(const QString &sysNo)
{
    if (!m_refusals || m_refusals->isEmpty())
        return;
    QString error;
    if (!m_refusals->forget(sysNo, &error))
        m_log(QStringLiteral("整理拒发记录文件%1失败：%2").arg(m_refusals->path(), error));
}

QStringList SendingPolicy::refusedRows()
{
    if (!enabled())
        return {};
    prepare();
    return m_refusals->rows();
}

void SendingPolicy::rowsGone(const QStringList &sysNos)
{
    if (!m_refusals || sysNos.isEmpty())
        return;
    QString error;
    if (!m_refusals->forget(sysNos, &error))
        m_log(QStringLiteral("整理拒发记录文件%1失败：%2").arg(m_refusals->path(), error));
}

DeviceUsage SendingPolicy::usage(int d) const
{
    return m_counts.usage(m_settings.DevicePorts.value(d), m_clock.now());
}

std::optional<DeviceRest> SendingPolicy::restOf(int d) const
{
    const std::optional<DeviceRest> rest = m_rests.value(d);
    // A rest whose time is over is over, even before the next dispatch says so.
    if (rest && rest->until <= m_clock.now())
        return std::nullopt;
    return rest;
}

QDateTime SendingPolicy::nextReset(int d) const
{
    const PolicyConfig &config = m_settings.Policy;
    const PolicyLimits &limits = config.limitsOf(d);
    QuotaPeriod period = QuotaPeriod::Day;
    if (limits.hourParts > 0)
        period = QuotaPeriod::Hour;
    else if (limits.dayParts == 0 && (limits.monthParts > 0 || limits.monthRecipients > 0))
        period = QuotaPeriod::Month;
    return ResetSchedule(config.resetTime, config.resetDay).next(period, m_clock.now());
}

void SendingPolicy::reportRests(const SendPolicy &policy, qint64 now)
{
    // A rest begins with a count, so the devices counted since the last pass are looked at on
    // every pass. It ends with time, and a reload may bring new limits: every device is looked
    // at once a second.
    if (now != m_allRestsSeenAt) {
        m_allRestsSeenAt = now;
        m_counted.clear();
        for (int d = 0; d < m_rests.size(); ++d)
            reportRest(policy, d);
        return;
    }
    for (int d : std::exchange(m_counted, {}))
        reportRest(policy, d);
}

void SendingPolicy::reportRest(const SendPolicy &policy, int d)
{
    if (d < 0 || d >= m_rests.size())
        return;
    const std::optional<DeviceRest> rest = policy.restOf(d);
    if (rest == m_rests.at(d))
        return;
    const QString port = m_settings.deviceLabel(d);
    if (rest)
        m_log(port + QStringLiteral("口") + restText(*rest)
              + QStringLiteral("，暂停发送，%1恢复")
                        .arg(rest->until.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    else
        m_log(port + QStringLiteral("口发送限额已重置，恢复发送"));
    m_rests[d] = rest;
}

void SendingPolicy::reportRoutes()
{
    const PolicyConfig &config = m_settings.Policy;
    for (int g = 0; g < m_routeDown.size(); ++g) {
        bool down = true;
        for (int d : config.groups.at(g).devices) {
            if (m_pool.state(d) != DeviceState::Offline) {
                down = false;
                break;
            }
        }
        if (down == m_routeDown.at(g))
            continue;
        m_routeDown[g] = down;
        if (down)
            m_log(QStringLiteral("发送组%1没有已连接的设备，发往该组号码的短信暂不发送")
                          .arg(config.groups.at(g).name));
        else
            m_log(QStringLiteral("发送组%1已有设备连接，恢复发送").arg(config.groups.at(g).name));
    }
}
