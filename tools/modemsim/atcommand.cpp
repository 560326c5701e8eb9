#include "atcommand.h"

AtCommand AtCommand::parse(const QByteArray &command)
{
    qsizetype split = 0;
    while (split < command.size() && command[split] != '=' && command[split] != '?')
        ++split;
    AtCommand c;
    c.name = command.left(split).toUpper();
    c.query = command.mid(split) == "?";
    c.test = command.mid(split) == "=?";
    const QByteArray args =
            (!c.query && split < command.size()) ? command.mid(split + 1) : QByteArray();
    for (QByteArray a : args.split(',')) {
        a = a.trimmed();
        if (a.startsWith('"') && a.endsWith('"') && a.size() >= 2)
            a = a.mid(1, a.size() - 2);
        c.params.append(a);
    }
    c.first = c.params.isEmpty() ? -1 : c.params[0].toInt();
    return c;
}

QByteArray Cms::error(int code)
{
    return "+CMS ERROR: " + QByteArray::number(code);
}
