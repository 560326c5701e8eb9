#pragma once

#include "core/devicetable.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// One change of the device table, in the order the engine made it.
struct TableChange
{
    enum Kind { Reset, Insert, Remove, Update };
    Kind kind = Reset;
    // Rows first..last; Reset carries the whole table, Insert and Update the devices' new
    // statuses (an Update's span may hold unchanged rows between changed ones).
    int first = 0;
    int last = -1;
    QList<DeviceStatus> devices;
};

// What the engine showed the operator during one turn of its event loop (a busy engine's turns
// of one frame), sent to the window in one piece: the log's new text, the table's changes, the
// status panel and the running flag.
struct EngineBatch
{
    // The log was replaced by this text (start-up line, clearing) before the appended pieces.
    std::optional<QString> logText;
    QString logAppended;
    QList<TableChange> table;
    std::optional<QString> statusPanel;
    std::optional<bool> running;
};

// Work the engine hands back to run on the window's thread.
using EngineReply = std::function<void()>;
