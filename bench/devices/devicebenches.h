#pragma once

#include <QStringList>
#include <QTextStream>

// The benchmarks of how the service's devices start, reload, live beside dead modems and
// rejoin, each through velmora-gatewayd on simulated modems and SQLite. Each prints one line
// per figure and returns false when it could not measure at all.
namespace DeviceBenches {

constexpr int Modems = 128;

// Modems as some real ones are: the first command after a second of quiet or after an ESC
// is lost, and the first answer after the port opens comes 300 ms late.
inline QStringList dozingModems()
{
    return {QStringLiteral("--ignore-first-after"), QStringLiteral("1000"),
            QStringLiteral("--first-answer-delay"), QStringLiteral("300")};
}

bool start(QTextStream &out);
bool reload(QTextStream &out);
bool silent(QTextStream &out);
bool restart(QTextStream &out);

} // namespace DeviceBenches
