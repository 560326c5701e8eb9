#pragma once

#include <QString>

// Folders of an installation:
//   <install>/start, <install>/MainApp/Velmora, <install>/update/
// and the system directory that holds the registered components and the registry file.
namespace InstallLayout {

// Folder of the running executable, without a trailing slash.
QString programDir();
// Parent of the given folder with one trailing slash ("/opt/velmora/MainApp" -> "/opt/velmora/").
QString parentWithSlash(const QString &folder);
// The system directory: $VELMORA_SYSTEM_DIR, else /usr/local/lib/velmora for root, else
// $XDG_DATA_HOME/velmora/system.
QString systemDir();
// Configuration file of the gateway in the given program folder.
QString configFile(const QString &programDir);
// The lock file that lets one gateway at a time, window program or service, use the program
// folder: two would replay the same spool and receive journal and fight over the modems.
QString folderLockFile(const QString &programDir);

} // namespace InstallLayout
