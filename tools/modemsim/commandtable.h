#pragma once

#include "atcommand.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>

#include <functional>

// The extended commands a modem knows, by name. A handler appends its answer lines and returns
// the final result ("OK", "ERROR", "+CMS ERROR: ...").
class CommandTable
{
public:
    using Handler = std::function<QByteArray(const AtCommand &, QByteArrayList *)>;

    void add(const QByteArray &name, Handler handler) { m_handlers.insert(name, handler); }
    // Anything the modem does not know answers ERROR, as the common sticks do.
    QByteArray run(const AtCommand &command, QByteArrayList *lines) const;

private:
    QHash<QByteArray, Handler> m_handlers;
};
