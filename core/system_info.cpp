#include "core/system_info.h"

#include "core/platform_system.h"

namespace core {

std::optional<std::string> ChooseWindowsOsName(const WindowsVersion& version) {
  const bool workstation = version.productType == 1;
  const bool server = version.productType == 2 || version.productType == 3;
  if (workstation && version.major == 5) return version.minor == 0 ? "Windows 2000" : "Windows XP";
  if (server && version.major == 5) {
    if (!version.serverR2) return "Windows Server 2003";
    return (version.suiteMask & 0x8000) != 0 ? "Windows Home Server" : "Windows Server 2003 R2";
  }
  if (version.major != 6 || version.minor > 3) return std::nullopt;
  static constexpr const char* WORKSTATION_NAMES[] = {"Windows Vista", "Windows 7", "Windows 8", "Windows 8.1"};
  static constexpr const char* SERVER_NAMES[] = {"Windows Server 2008", "Windows Server 2008 R2", "Windows Server 2012",
                                                 "Windows Server 2012 R2"};
  if (workstation) return WORKSTATION_NAMES[version.minor];
  if (server) return SERVER_NAMES[version.minor];
  return std::nullopt;
}

void GatherSystemInfo(SystemInfo& info) {
  info.systemDirectory = QuerySystemDirectory();
  // Outside Windows the version table does not apply: the system names itself.
  const std::string osName = QueryOsName();
  info.osName = osName.empty() ? std::nullopt : std::optional<std::string>(osName);
  info.computerName = QueryComputerName();
  info.userName = QueryUserName();
  info.modulePath = QueryModulePath();
}

}  // namespace core
