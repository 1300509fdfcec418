#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "core/platform_system.h"

namespace core {

std::FILE* CreateTemporaryFileBeside(const std::filesystem::path& target, std::filesystem::path& temporary,
                                     std::optional<unsigned> mode) {
  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  // Appended piece by piece: prepending to a temporary string ("." + name) trips g++ 12's overlap check at -O3.
  std::string leaf = ".";
  leaf += target.filename().string();
  leaf += ".lfq-XXXXXX";
  const std::string pattern = (directory / leaf).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = ::mkstemp(name.data());
  if (descriptor < 0) return nullptr;
  // mkstemp makes the file private; an output gets the bits of the file it replaces, or those of any new
  // file under the umask.
  if (!mode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(descriptor, static_cast<mode_t>(*mode));
  std::FILE* stream = ::fdopen(descriptor, "w+b");
  if (stream == nullptr) {
    const int error = errno;
    ::close(descriptor);
    ::unlink(name.data());
    errno = error;
    return nullptr;
  }
  temporary = name.data();
  return stream;
}

bool ExamineOutputTarget(const std::filesystem::path& target, std::filesystem::path& resolved,
                         std::optional<unsigned>& mode) {
  constexpr int LINK_LIMIT = 40;  // as many links as the kernel follows in one path
  resolved = target;
  mode.reset();
  struct stat info {};
  for (int links = 0;; ++links) {
    if (::lstat(resolved.c_str(), &info) != 0) {
      // Nothing there yet: the output creates it (a missing directory shows when the file is made).
      return errno == ENOENT;
    }
    if (!S_ISLNK(info.st_mode)) break;
    if (links == LINK_LIMIT) {
      errno = ELOOP;
      return false;
    }
    std::vector<char> text(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t length = ::readlink(resolved.c_str(), text.data(), text.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) >= text.size()) {  // the link changed while being read
      errno = ENAMETOOLONG;
      return false;
    }
    const std::filesystem::path next(std::string(text.data(), static_cast<std::size_t>(length)));
    resolved = next.is_absolute() ? next : resolved.parent_path() / next;
  }
  // A directory cannot be replaced by a file; the rename says so once the output is complete.
  if (S_ISDIR(info.st_mode)) return true;
  // Replaced like cp replaces it: only when this user may write it, and with its permission bits.
  if (::faccessat(AT_FDCWD, resolved.c_str(), W_OK, AT_EACCESS) != 0) return false;
  mode = static_cast<unsigned>(info.st_mode & 0777);
  return true;
}

void ReplaceWithTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target,
                          std::error_code& error) {
  std::filesystem::rename(temporary, target, error);
}

std::FILE* OpenFileStream(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool SeekFileStream(std::FILE* file, std::int64_t offset, int origin) {
  return ::fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

std::int64_t TellFileStream(std::FILE* file) { return ::ftello(file); }

std::vector<std::string> QueryCommandLineArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

// Linux terminals take the UTF-8 bytes as they are.
void PrepareConsoleOutput() {}

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
