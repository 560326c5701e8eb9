#pragma once

#include "storage/queuedmessage.h"

#include <QString>
#include <optional>

// Why a pending row is ended unsent, before any modem sees it.
struct RowRefusal
{
    QString reason;  // the Reason column's text
    QString logLine; // what the log says
};

// What an application wrote that no modem should be given: a number that is not a phone
// number (it would reach the network as whatever characters it holds), or a SendAfter or
// ValidUntil that is no time (sent anyway, the message could go early or after it expired).
namespace RowScreen {

// nullopt when the row may be sent; its number is then in the form the modem is given (blanks,
// dashes and dots dropped).
std::optional<RowRefusal> check(QueuedMessage &row);

} // namespace RowScreen
