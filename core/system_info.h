#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace core {

// Facts about the machine, gathered once at start-up and shown in the About box.
struct SystemInfo {
  std::string computerName;
  std::optional<std::string> osName;  // none when the system has no name in the table
  std::string userName;
  std::string systemDirectory;
  std::string modulePath;
};

// The Windows version values that decide the OS name.
struct WindowsVersion {
  std::uint8_t productType = 0;  // 1 workstation, 2 domain controller, 3 server
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  bool serverR2 = false;        // the system metric that tells a Server 2003 R2
  std::uint16_t suiteMask = 0;  // bit 0x8000: home server
};

// The name of a Windows version, e.g. "Windows 7"; none for a combination outside the table.
std::optional<std::string> ChooseWindowsOsName(const WindowsVersion& version);

// Fills the record from the running system.
void GatherSystemInfo(SystemInfo& info);

}  // namespace core
