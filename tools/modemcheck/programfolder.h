#pragma once

#include <QList>
#include <QString>

// The gateway's program folder as the check tool sees it, so that COMn means to the tool what
// it means to the gateway: the links in its ports/ folder and the ports its Config.ini lists.
namespace ProgramFolder {

// The folder given on the command line; else the installed service's folder when it exists;
// else the MainApp folder beside the tool's own folder, as a build or a hand install lays out.
QString choose(const QString &given, const QString &serviceFolder);
// The COMn numbers that [SMSCom] Port= lists, in its order and without repeats; values that
// are not whole numbers are left out (the gateway cannot open them either).
QList<int> configuredPorts(const QString &programDir);

} // namespace ProgramFolder
