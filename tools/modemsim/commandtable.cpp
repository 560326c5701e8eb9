#include "commandtable.h"

QByteArray CommandTable::run(const AtCommand &command, QByteArrayList *lines) const
{
    const auto it = m_handlers.constFind(command.name);
    if (it == m_handlers.constEnd())
        return "ERROR";
    return (*it)(command, lines);
}
