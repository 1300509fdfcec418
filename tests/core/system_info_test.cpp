#include "core/system_info.h"
#include "core/text.h"

#include <gtest/gtest.h>

namespace {

std::string Name(std::uint8_t productType, std::uint32_t major, std::uint32_t minor, bool r2 = false,
                 std::uint16_t suiteMask = 0) {
  return core::ChooseWindowsOsName({productType, major, minor, r2, suiteMask}).value_or("(none)");
}

TEST(SystemInfo, NamesWindowsVersionsByTheTable) {
  EXPECT_EQ(Name(1, 5, 0), "Windows 2000");
  EXPECT_EQ(Name(1, 5, 1), "Windows XP");
  EXPECT_EQ(Name(1, 5, 2), "Windows XP");
  EXPECT_EQ(Name(1, 6, 0), "Windows Vista");
  EXPECT_EQ(Name(1, 6, 1), "Windows 7");
  EXPECT_EQ(Name(1, 6, 2), "Windows 8");
  EXPECT_EQ(Name(1, 6, 3), "Windows 8.1");
  EXPECT_EQ(Name(1, 6, 4), "(none)");
  EXPECT_EQ(Name(1, 10, 0), "(none)");
  EXPECT_EQ(Name(1, 4, 0), "(none)");
  for (std::uint8_t server : {2, 3}) {
    EXPECT_EQ(Name(server, 5, 2), "Windows Server 2003");
    EXPECT_EQ(Name(server, 5, 2, true), "Windows Server 2003 R2");
    EXPECT_EQ(Name(server, 5, 2, true, 0x8000), "Windows Home Server");
    EXPECT_EQ(Name(server, 5, 2, false, 0x8000), "Windows Server 2003");
    EXPECT_EQ(Name(server, 6, 0), "Windows Server 2008");
    EXPECT_EQ(Name(server, 6, 1), "Windows Server 2008 R2");
    EXPECT_EQ(Name(server, 6, 2), "Windows Server 2012");
    EXPECT_EQ(Name(server, 6, 3), "Windows Server 2012 R2");
    EXPECT_EQ(Name(server, 6, 4), "(none)");
  }
  EXPECT_EQ(Name(0, 6, 1), "(none)");
  EXPECT_EQ(Name(4, 6, 1), "(none)");
}

TEST(SystemInfo, GathersTheRunningSystem) {
  core::SystemInfo info;
  core::GatherSystemInfo(info);
  EXPECT_FALSE(info.computerName.empty());
  EXPECT_FALSE(info.userName.empty());
  EXPECT_NE(info.modulePath.find("core_tests"), std::string::npos);
#ifdef _WIN32
  EXPECT_NE(core::ToUpperText(info.systemDirectory).find("\\SYSTEM32"), std::string::npos) << info.systemDirectory;
  // The table names Windows up to 8.1 and Server 2012 R2; a later version has no name.
  if (info.osName) {
    EXPECT_EQ(info.osName->rfind("Windows ", 0), 0u) << *info.osName;
  }
#else
  EXPECT_EQ(info.systemDirectory, "/usr/lib");
  ASSERT_TRUE(info.osName.has_value());
  EXPECT_FALSE(info.osName->empty());
#endif
}

}  // namespace
