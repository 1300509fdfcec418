#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/platform_system.h"

namespace core {

std::FILE* CreateTemporaryFileBeside(const std::filesystem::path& target, std::filesystem::path& temporary) {
  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  std::string pattern = (directory / ("." + target.filename().string() + ".lfq-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = ::mkstemp(name.data());
  if (descriptor < 0) return nullptr;
  // mkstemp makes the file private; an output gets the permissions of any new file under the umask.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(descriptor, 0666 & ~mask);
  std::FILE* stream = ::fdopen(descriptor, "w+b");
  if (stream == nullptr) {
    ::close(descriptor);
    ::unlink(name.data());
    return nullptr;
  }
  temporary = name.data();
  return stream;
}

std::string QueryComputerName() {
  char name[260] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string QueryUserName() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "";
}

std::string QuerySystemDirectory() { return "/usr/lib"; }

std::string QueryModulePath() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::string QueryOsName() {
  std::ifstream release("/etc/os-release");
  std::string line;
  while (std::getline(release, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string value = line.substr(12);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (!value.empty()) return value;
  }
  utsname names{};
  if (::uname(&names) != 0) return {};
  return std::string(names.sysname) + " " + names.release;
}

void* LoadModuleFunction(const std::filesystem::path& module, const char* name, std::string& error) {
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : "cannot load " + module.string();
    return nullptr;
  }
  void* function = ::dlsym(handle, name);
  if (function == nullptr) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : std::string("no function ") + name;
  }
  return function;
}

}  // namespace core
