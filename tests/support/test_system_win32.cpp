#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <random>
#include <system_error>

#include "core/text.h"
#include "support/test_system.h"

namespace testing_support {

std::filesystem::path MakeUniqueDirectory(const std::string& prefix) {
  std::random_device seed;
  std::mt19937_64 generator(seed() ^ ::GetCurrentProcessId());
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path path =
        folder / core::FormatText("%s%08llx", prefix.c_str(), static_cast<unsigned long long>(generator() >> 32));
    // create_directory answers false for a name that exists, so each directory is new and ours.
    if (std::filesystem::create_directory(path, error)) return path;
    if (error) return {};
  }
  return {};
}

void SetEnvironment(const char* name, const std::string& value) {
  // Both the system's block and the C runtime's copy, which getenv reads.
  ::SetEnvironmentVariableW(core::Utf8ToWide(name).c_str(), core::Utf8ToWide(value).c_str());
  ::_wputenv_s(core::Utf8ToWide(name).c_str(), core::Utf8ToWide(value).c_str());
}

void UnsetEnvironment(const char* name) {
  ::SetEnvironmentVariableW(core::Utf8ToWide(name).c_str(), nullptr);
  ::_wputenv_s(core::Utf8ToWide(name).c_str(), L"");
}

bool HasPermissionBits() { return false; }

bool CanMakeSymbolicLinks() { return false; }

bool CanRunLinuxPrograms() { return false; }

bool CanPassAnyArgumentBytes() { return false; }

// Windows has no user that ignores a file's read-only attribute.
bool MayWriteEveryFile() { return false; }

}  // namespace testing_support
