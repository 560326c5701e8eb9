#include "programfolder.h"

#include "common/inifile.h"
#include "common/installlayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ProgramFolder {

QString choose(const QString &given, const QString &serviceFolder)
{
    if (!given.isEmpty())
        return QDir::cleanPath(given);
    if (!serviceFolder.isEmpty() && QFileInfo(serviceFolder).isDir())
        return QDir::cleanPath(serviceFolder);
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../MainApp"));
}

QList<int> configuredPorts(const QString &programDir)
{
    const IniFile ini(InstallLayout::configFile(programDir));
    QList<int> ports;
    if (!QFileInfo::exists(ini.path()) || !ini.holdsText())
        return ports;
    // The gateway's own default when the key is absent.
    const QString list =
            ini.read(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1"));
    for (const QString &item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = item.trimmed().toInt(&ok);
        if (ok && n > 0 && !ports.contains(n))
            ports.append(n);
    }
    return ports;
}

} // namespace ProgramFolder
