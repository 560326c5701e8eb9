#include "policyconfig.h"

int PolicyConfig::routeOf(const QString &number) const
{
    for (const auto &[prefix, group] : prefixTable) {
        if (number.startsWith(prefix))
            return group;
    }
    return defaultGroup;
}

const PolicyLimits &PolicyConfig::limitsOf(int d) const
{
    const int group = groupOfDevice.value(d, -1);
    return group < 0 ? limits : groups.at(group).limits;
}

QString PolicyConfig::routeName(int route) const
{
    return route < 0 ? QString() : groups.value(route).name;
}
