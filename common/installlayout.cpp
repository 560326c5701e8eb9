#include "installlayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace InstallLayout {

QString programDir()
{
    return QCoreApplication::applicationDirPath();
}

QString parentWithSlash(const QString &folder)
{
    QString path = QDir::cleanPath(folder);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral("./");
    return path.left(slash + 1);
}

QString systemDir()
{
    const QString fromEnv = qEnvironmentVariable("VELMORA_SYSTEM_DIR");
    if (!fromEnv.isEmpty())
        return QDir::cleanPath(fromEnv);
    if (::geteuid() == 0)
        return QStringLiteral("/usr/local/lib/velmora");
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/velmora/system");
}

QString configFile(const QString &programDir)
{
    return programDir + QStringLiteral("/Config.ini");
}

QString folderLockFile(const QString &programDir)
{
    // The name the service's lock has always had, so an older service still running keeps
    // a newer window out.
    return programDir + QStringLiteral("/velmora-gatewayd.lock");
}

} // namespace InstallLayout
