#pragma once

#include <QString>
#include <optional>

class RegistryFile;

// Finds the system-information tool through the registry file: the program recorded under
// Shared Tools\MSINFO (taken as it stands), else MSINFO32.EXE in the folder recorded under
// Shared Tools Location, when that file exists.
namespace SysInfoTool {

inline constexpr const char *ToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char *ToolValue = "PATH";
inline constexpr const char *LocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char *LocationValue = "MSINFO";
inline constexpr const char *ProgramFile = "MSINFO32.EXE";

std::optional<QString> locate(const RegistryFile &registry);

} // namespace SysInfoTool
