#include <stdlib.h>
#include <unistd.h>

#include "support/test_system.h"

namespace testing_support {

std::filesystem::path MakeUniqueDirectory(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void SetEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void UnsetEnvironment(const char* name) { ::unsetenv(name); }

bool HasPermissionBits() { return true; }

bool CanMakeSymbolicLinks() { return true; }

bool CanRunLinuxPrograms() { return true; }

bool CanPassAnyArgumentBytes() { return true; }

bool MayWriteEveryFile() { return ::geteuid() == 0; }

}  // namespace testing_support
