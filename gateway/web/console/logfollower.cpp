#include "logfollower.h"

#include <algorithm>

namespace {

// Lines compared before the match is taken for the place: the time stamps are to the second,
// so one line may repeat where a modem repeats itself.
constexpr qsizetype Overlap = 4;

QStringList nonEmpty(const QStringList &lines)
{
    QStringList out;
    out.reserve(lines.size());
    for (const QString &line : lines) {
        if (!line.isEmpty())
            out << line;
    }
    return out;
}

} // namespace

QStringList LogFollower::follow(const QStringList &recent, bool *reset)
{
    const QStringList lines = nonEmpty(recent);
    *reset = false;
    if (lines == m_seen)
        return {};
    // The oldest of the lines seen may have left the window: near its start fewer are compared.
    for (qsizetype end = lines.size(); !m_seen.isEmpty() && end > 0; --end) {
        const qsizetype check = std::min({Overlap, m_seen.size(), end});
        bool same = true;
        for (qsizetype k = 1; k <= check && same; ++k)
            same = lines.at(end - k) == m_seen.at(m_seen.size() - k);
        if (same) {
            m_seen = lines;
            return lines.mid(end);
        }
    }
    *reset = true;
    m_seen = lines;
    return lines;
}
