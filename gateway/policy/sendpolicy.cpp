#include "sendpolicy.h"

#include <algorithm>

SendPolicy::SendPolicy(const PolicyConfig &config, const SendCounts &counts,
                       QList<PolicyDevice> devices, qint64 nowSecs)
    : m_config(config), m_counts(counts), m_devices(std::move(devices)), m_nowSecs(nowSecs)
{
    countOpenDevices();
}

void SendPolicy::countOpenDevices()
{
    m_seen.resize(m_devices.size());
    m_openInGroup.resize(m_config.groups.size());
    std::fill(m_openInGroup.begin(), m_openInGroup.end(), 0);
    for (int d = 0; d < m_devices.size(); ++d) {
        if (m_devices.at(d).free)
            m_free.append(d);
    }
    for (int d : std::as_const(m_free)) {
        // Every free device's room is worked out here, so ordering them below adds none.
        room(d);
        m_seen[d].paced = pacedNow(d);
        if (open(d))
            countOpen(d, 1);
    }
    // The SIM that sent least today goes first, so a pool wears evenly.
    std::stable_sort(m_free.begin(), m_free.end(), [this](int a, int b) {
        const int partsOfA = room(a).used.dayParts;
        return partsOfA < room(b).used.dayParts;
    });
}

const QDateTime &SendPolicy::now() const
{
    if (!m_now.isValid())
        m_now = QDateTime::fromSecsSinceEpoch(m_nowSecs);
    return m_now;
}

SendPolicy::Room &SendPolicy::room(int d) const
{
    // Worked out for a device once a pass asks: most devices are busy and never are.
    Seen &seen = m_seen[d];
    if (seen.room < 0) {
        seen.room = qint16(m_rooms.size());
        m_rooms.append(Room{m_counts.usage(m_devices.at(d).port, m_nowSecs), m_config.limitsOf(d)});
    }
    return m_rooms[seen.room];
}

bool SendPolicy::free(int d) const
{
    return m_devices.at(d).free && !m_seen[d].unavailable;
}

bool SendPolicy::pacedNow(int d) const
{
    const QDateTime &until = m_devices.at(d).pacedUntil;
    return until.isValid() && until > now();
}

bool SendPolicy::open(int d) const
{
    return free(d) && !m_seen[d].paced && !restOf(d);
}

void SendPolicy::countOpen(int d, int change)
{
    m_open += change;
    const int group = m_config.groupOfDevice.value(d, -1);
    if (group >= 0 && group < m_openInGroup.size())
        m_openInGroup[group] += change;
}

bool SendPolicy::routeOpen(int route) const
{
    return route < 0 ? m_open > 0 : (route < m_openInGroup.size() && m_openInGroup[route] > 0);
}

void SendPolicy::unavailable(int d)
{
    if (open(d))
        countOpen(d, -1);
    // The list is shared with the caller: written to, it would be copied on every pass.
    m_seen[d].unavailable = true;
}

QDateTime SendPolicy::untilOf(DeviceRest::Cause cause) const
{
    const ResetSchedule &s = m_counts.schedule();
    switch (cause) {
    case DeviceRest::Cause::HourParts:
        return s.next(QuotaPeriod::Hour, now());
    case DeviceRest::Cause::DayParts:
        return s.next(QuotaPeriod::Day, now());
    case DeviceRest::Cause::MonthParts:
    case DeviceRest::Cause::MonthRecipients:
        break;
    }
    return s.next(QuotaPeriod::Month, now());
}

std::optional<DeviceRest> SendPolicy::limitPassed(int d, const PolicyRow &row) const
{
    const Room &r = room(d);
    const auto passes = [&row](int used, int limit) {
        return limit > 0 && used + row.parts > limit;
    };
    // The longest rest decides: a month's limit outlasts a day's.
    DeviceRest rest;
    if (passes(r.used.monthParts, r.limits.monthParts))
        rest = {DeviceRest::Cause::MonthParts, r.limits.monthParts, {}};
    else if (r.limits.monthRecipients > 0 && r.used.monthRecipients >= r.limits.monthRecipients
             && (row.number.isNull()
                 || !m_counts.knowsRecipient(m_devices.at(d).port, row.number, m_nowSecs)))
        rest = {DeviceRest::Cause::MonthRecipients, r.limits.monthRecipients, {}};
    else if (passes(r.used.dayParts, r.limits.dayParts))
        rest = {DeviceRest::Cause::DayParts, r.limits.dayParts, {}};
    else if (passes(r.used.hourParts, r.limits.hourParts))
        rest = {DeviceRest::Cause::HourParts, r.limits.hourParts, {}};
    else
        return std::nullopt;
    rest.until = untilOf(rest.cause);
    return rest;
}

std::optional<DeviceRest> SendPolicy::restOf(int d) const
{
    // A device rests once it has no room for the shortest message to a new number.
    PolicyRow one;
    one.parts = 1;
    return limitPassed(d, one);
}

bool SendPolicy::recipientBlocked(const QString &number) const
{
    if (m_config.recipientLimit <= 0)
        return false;
    const qint64 since = m_nowSecs - 60LL * m_config.recipientWindowMinutes;
    const int taken = m_takenTo.value(number);
    return taken >= m_config.recipientLimit
            || m_counts.sentTo(number, since) + taken >= m_config.recipientLimit;
}

bool SendPolicy::anotherDeviceFor(const PolicyRow &row) const
{
    const int route = m_config.routeOf(row.number);
    for (int d = 0; d < m_devices.size(); ++d) {
        if (m_config.routeAllows(route, d) && !row.refusedBy.contains(d))
            return true;
    }
    return false;
}

PolicyDecision SendPolicy::decide(const PolicyRow &row) const
{
    if (recipientBlocked(row.number))
        return {PolicyDecision::Kind::Refuse, -1, PolicyDecision::Why::RecipientLimit, {}};
    const int route = row.route >= -1 ? row.route : m_config.routeOf(row.number);
    // Free devices are few among many: the one to send through is looked for among them
    // alone, and why the row waits only when none takes it.
    while (m_firstFree < m_free.size() && m_seen[m_free[m_firstFree]].unavailable)
        ++m_firstFree;
    for (qsizetype i = m_firstFree; i < m_free.size(); ++i) {
        const int d = m_free[i];
        const Seen &seen = m_seen[d];
        if (seen.unavailable || seen.paced || !m_devices.at(d).online
            || !m_config.routeAllows(route, d) || row.refusedBy.contains(d) || limitPassed(d, row))
            continue;
        return {PolicyDecision::Kind::Send, d, PolicyDecision::Why::None, {}};
    }
    return waitFor(row, route);
}

PolicyDecision SendPolicy::waitFor(const PolicyRow &row, int route) const
{
    PolicyDecision wait{PolicyDecision::Kind::Wait, -1, PolicyDecision::Why::NoDevice, {}};
    const auto until = [&wait](PolicyDecision::Why why, const QDateTime &time) {
        if (wait.why == PolicyDecision::Why::NoDevice || wait.why == PolicyDecision::Why::Busy
            || time < wait.until)
            wait = {PolicyDecision::Kind::Wait, -1, why, time};
    };
    for (int d = 0; d < m_devices.size(); ++d) {
        const PolicyDevice &device = m_devices.at(d);
        if (!device.online || !m_config.routeAllows(route, d) || row.refusedBy.contains(d))
            continue;
        if (const auto rest = limitPassed(d, row))
            until(PolicyDecision::Why::Resting, rest->until);
        else if (pacedNow(d))
            until(PolicyDecision::Why::Pacing, device.pacedUntil);
        else if (wait.why == PolicyDecision::Why::NoDevice)
            wait.why = PolicyDecision::Why::Busy;
    }
    return wait;
}

void SendPolicy::taken(int d, const PolicyRow &row)
{
    unavailable(d);
    Room &r = room(d);
    r.used.hourParts += row.parts;
    r.used.dayParts += row.parts;
    r.used.monthParts += row.parts;
    if (!m_counts.knowsRecipient(m_devices.at(d).port, row.number, m_nowSecs))
        ++r.used.monthRecipients;
    if (m_config.recipientLimit > 0)
        ++m_takenTo[row.number];
}
