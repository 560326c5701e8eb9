#pragma once

#include <QStringList>
#include <functional>

class AtChannel;

// What the check tool asks of a modem, asked of one that is open and in use: AT, the SIM's
// state, signal, registration, operator and model, queued behind whatever the channel is doing
// so a message in flight is never cut into. Each line of the report is the command and the
// modem's answer, or why there was none, in the operator's language.
namespace ModemCheckup {

using Done = std::function<void(const QStringList &report)>;

// done follows once, when the last command ended (answered, timed out or cut off by a close).
void run(AtChannel &channel, int commandMs, Done done);

} // namespace ModemCheckup
