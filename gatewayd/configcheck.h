#pragma once

#include <QString>

// Whether the service may read Config.ini. The engine takes a file it cannot read for an empty
// one and would run on the defaults (COM1, no status page) as if that were the operator's
// choice; the service refuses that instead. A folder without any Config.ini keeps the defaults,
// as in the window program.
namespace ConfigCheck {

// Empty when the file can be read or is absent, else why it cannot be read.
QString problem(const QString &configPath);

} // namespace ConfigCheck
