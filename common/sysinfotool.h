#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class RegistryFile;

// Finds the system-information tool through the registry file: the program recorded under
// Shared Tools\MSINFO (taken as it stands), else MSINFO32.EXE in the folder recorded under
// Shared Tools Location, when that file exists. Installation records the desktop's own tool
// there.
namespace SysInfoTool {

inline constexpr const char *ToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char *ToolValue = "PATH";
inline constexpr const char *LocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char *LocationValue = "MSINFO";
inline constexpr const char *ProgramFile = "MSINFO32.EXE";

std::optional<QString> locate(const RegistryFile &registry);

// The desktops' system-information programs, in the order they are preferred.
QStringList candidates();
// Records the first candidate found on searchPaths (PATH when empty) under Shared Tools\MSINFO,
// unless a program that still exists is recorded there already (the operator's own choice
// stays). False only when a found program could not be recorded.
bool recordInstalled(const RegistryFile &registry, const QStringList &searchPaths = {});

} // namespace SysInfoTool
