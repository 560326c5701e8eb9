#include "launcherpaths.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace LauncherPaths {

QString withTrailingSlash(const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

QString gatewayCommand(const QString &launcherDir)
{
    return withTrailingSlash(launcherDir) + QStringLiteral("MainApp/Velmora");
}

QString componentFile(const QString &systemDir, int resourceId)
{
    return systemDir + QStringLiteral("/Velmora") + QString::number(resourceId)
            + QStringLiteral(".ocx");
}

QString findRegsvr32(const QString &launcherDir)
{
    const QFileInfo beside(withTrailingSlash(launcherDir) + QStringLiteral("regsvr32"));
    if (beside.isFile() && beside.isExecutable())
        return beside.filePath();
    return QStandardPaths::findExecutable(QStringLiteral("regsvr32"));
}

} // namespace LauncherPaths
