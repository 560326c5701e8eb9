#pragma once

#include <QString>

// Paths the launcher builds from its own folder and the system directory.
namespace LauncherPaths {

// The folder with exactly one trailing slash ("/" stays "/").
QString withTrailingSlash(const QString &folder);
// <launcher folder>/MainApp/Velmora
QString gatewayCommand(const QString &launcherDir);
// <system directory>/Velmora<id>.ocx
QString componentFile(const QString &systemDir, int resourceId);
// The registration tool beside the launcher first, then on PATH; empty when there is none.
QString findRegsvr32(const QString &launcherDir);

} // namespace LauncherPaths
