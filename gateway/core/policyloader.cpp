#include "policyloader.h"

#include "common/inifile.h"

#include <algorithm>

namespace {

using Log = std::function<void(const QString &)>;

const QString Section = QStringLiteral("Policy");

class Reader
{
public:
    Reader(const IniFile &ini, const Log &log) : m_ini(ini), m_log(log) { }

    QString text(const QString &section, const QString &key) const
    {
        const QString value = m_ini.read(section, key, QString()).trimmed();
        m_any = m_any || !value.isEmpty();
        return value;
    }

    // A whole number from 0 to max; fallback when absent or not one.
    int number(const QString &section, const QString &key, int fallback, int max = 1000000) const
    {
        const QString value = text(section, key);
        if (value.isEmpty())
            return fallback;
        bool ok = false;
        const int n = value.toInt(&ok);
        if (ok && n >= 0 && n <= max)
            return n;
        m_log(QStringLiteral("配置项[%1]%2的值“%3”无效，改用%4")
                      .arg(section, key, value, QString::number(fallback)));
        return fallback;
    }

    PolicyLimits limits(const QString &section, const PolicyLimits &base) const
    {
        PolicyLimits l;
        l.hourParts = number(section, QStringLiteral("HourLimit"), base.hourParts);
        l.dayParts = number(section, QStringLiteral("DayLimit"), base.dayParts);
        l.monthParts = number(section, QStringLiteral("MonthLimit"), base.monthParts);
        l.monthRecipients =
                number(section, QStringLiteral("MonthRecipients"), base.monthRecipients);
        l.minGapSeconds = number(section, QStringLiteral("MinGap"), base.minGapSeconds, 86400);
        l.randomGapSeconds =
                number(section, QStringLiteral("RandomGap"), base.randomGapSeconds, 86400);
        return l;
    }

    bool anySet() const { return m_any; }

private:
    const IniFile &m_ini;
    const Log &m_log;
    mutable bool m_any = false;
};

QStringList splitList(const QString &text)
{
    QStringList items;
    for (const QString &item : text.split(QLatin1Char(','))) {
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    }
    return items;
}

// "1-8,12": the devices on ports 1 to 8 and on port 12.
QList<int> devicesOn(const QString &ports, const QStringList &devicePorts, const QString &group,
                     const Log &log)
{
    QList<int> devices;
    for (const QString &item : splitList(ports)) {
        const QStringList ends = item.split(QLatin1Char('-'));
        bool okFirst = false;
        bool okLast = false;
        const int first = ends.value(0).trimmed().toInt(&okFirst);
        const int last = ends.size() == 2 ? ends.at(1).trimmed().toInt(&okLast) : first;
        if (!okFirst || (ends.size() == 2 && !okLast) || ends.size() > 2 || last < first) {
            log(QStringLiteral("配置项[Policy:%1]Ports中的“%2”不是端口号或端口范围，已忽略")
                        .arg(group, item));
            continue;
        }
        for (int d = 0; d < devicePorts.size(); ++d) {
            const int port = devicePorts.at(d).trimmed().toInt();
            if (port >= first && port <= last && !devices.contains(d))
                devices << d;
        }
    }
    return devices;
}

void readGroups(const Reader &reader, PolicyConfig &config, const QStringList &devicePorts,
                const Log &log)
{
    config.groupOfDevice = QList<int>(devicePorts.size(), -1);
    for (const QString &name : splitList(reader.text(Section, QStringLiteral("Groups")))) {
        const QString section = QStringLiteral("Policy:") + name;
        PolicyGroup group;
        group.name = name;
        group.devices =
                devicesOn(reader.text(section, QStringLiteral("Ports")), devicePorts, name, log);
        group.prefixes = splitList(reader.text(section, QStringLiteral("Prefixes")));
        group.limits = reader.limits(section, config.limits);
        const int index = int(config.groups.size());
        for (int d : std::as_const(group.devices)) {
            if (config.groupOfDevice.at(d) >= 0) {
                log(QStringLiteral("Com%1口同时属于发送组%2和%3，按%2处理")
                            .arg(devicePorts.at(d),
                                 config.groups.at(config.groupOfDevice.at(d)).name, name));
                continue;
            }
            config.groupOfDevice[d] = index;
        }
        for (const QString &prefix : std::as_const(group.prefixes))
            config.prefixTable.append({prefix, index});
        config.groups.append(group);
    }
    std::stable_sort(config.prefixTable.begin(), config.prefixTable.end(),
                     [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
}

void readDefaultGroup(const Reader &reader, PolicyConfig &config, const Log &log)
{
    const QString name = reader.text(Section, QStringLiteral("DefaultGroup"));
    if (name.isEmpty())
        return;
    for (int g = 0; g < config.groups.size(); ++g) {
        if (config.groups.at(g).name.compare(name, Qt::CaseInsensitive) == 0)
            config.defaultGroup = g;
    }
    if (config.defaultGroup < 0)
        log(QStringLiteral("配置项[Policy]DefaultGroup的值“%1”不是Groups中的发送组，"
                           "其他号码可由任何设备发送")
                    .arg(name));
}

QTime readResetTime(const Reader &reader, const Log &log)
{
    const QString text = reader.text(Section, QStringLiteral("ResetTime"));
    if (text.isEmpty())
        return QTime(0, 0);
    const QTime time = QTime::fromString(text, QStringLiteral("H:mm"));
    if (time.isValid())
        return time;
    log(QStringLiteral("配置项[Policy]ResetTime的值“%1”不是时:分，改用00:00").arg(text));
    return QTime(0, 0);
}

} // namespace

PolicyConfig LoadPolicy(const IniFile &ini, const QStringList &devicePorts, const Log &log)
{
    const Reader reader(ini, log);
    PolicyConfig config;
    config.resetTime = readResetTime(reader, log);
    config.resetDay = std::max(1, reader.number(Section, QStringLiteral("ResetDay"), 1, 31));
    config.limits = reader.limits(Section, {});
    config.recipientLimit = reader.number(Section, QStringLiteral("RecipientLimit"), 0);
    config.recipientWindowMinutes =
            std::max(1, reader.number(Section, QStringLiteral("RecipientWindow"), 60, 44640));
    config.attempts = std::max(1, reader.number(Section, QStringLiteral("Attempts"), 1, 128));
    readGroups(reader, config, devicePorts, log);
    readDefaultGroup(reader, config, log);
    config.enabled = reader.anySet();
    return config;
}
