#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which they build on.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "core/path_names.h"
#include "core/platform_system.h"
#include "core/system_info.h"
#include "core/text.h"

namespace core {

namespace {

// The errno value closest to a Win32 error, so that failures read as they do elsewhere.
int ErrnoFromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_CANT_RESOLVE_FILENAME:
      return ELOOP;
    default:
      return EINVAL;
  }
}

// The system's text for a Win32 error, without its line end.
std::string DescribeWin32Error(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? WideToUtf8(std::wstring_view(text, length)) : std::string();
  ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? FormatText("system error %lu", static_cast<unsigned long>(error)) : message;
}

// A text the system fills into a buffer of 260 characters, as the machine facts are asked for.
template <typename Query>
std::string QueryText(Query query) {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  if (!query(buffer, size)) return {};
  return WideToUtf8(buffer);
}

// Twelve hex digits from a generator seeded by the system, for temporary names no other run picks.
std::wstring UniqueSuffix() {
  static std::mt19937_64 generator(std::random_device{}() ^
                                   (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64());
  return Utf8ToWide(FormatText("%012llx", static_cast<unsigned long long>(generator() & 0xFFFFFFFFFFFFull)));
}

// The console's code page before the program changed it.
UINT g_consoleCodePage = 0;

void RestoreConsoleOutput() {
  if (g_consoleCodePage != 0) ::SetConsoleOutputCP(g_consoleCodePage);
}

}  // namespace

std::FILE* CreateTemporaryFileBeside(const std::filesystem::path& target, std::filesystem::path& temporary,
                                     std::optional<unsigned> /*mode*/) {
  // Windows files carry no permission bits: a new file gets its folder's access rules, as any new file does.
  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) directory = L".";
  constexpr int ATTEMPTS = 100;
  for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
    const std::filesystem::path name = directory / (L"." + target.filename().wstring() + L".lfq-" + UniqueSuffix());
    // CREATE_NEW: a name that exists is never reused, so no other file is ever opened by mistake.
    const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      errno = ErrnoFromWin32(error);
      return nullptr;
    }
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
      ::CloseHandle(handle);
      ::DeleteFileW(name.c_str());
      errno = EMFILE;
      return nullptr;
    }
    std::FILE* stream = ::_fdopen(descriptor, "w+b");
    if (stream == nullptr) {
      const int error = errno;
      ::_close(descriptor);
      ::DeleteFileW(name.c_str());
      errno = error;
      return nullptr;
    }
    temporary = name;
    return stream;
  }
  errno = EEXIST;
  return nullptr;
}

bool ExamineOutputTarget(const std::filesystem::path& target, std::filesystem::path& resolved,
                         std::optional<unsigned>& mode) {
  constexpr int LINK_LIMIT = 40;
  resolved = target;
  mode.reset();
  for (int links = 0;; ++links) {
    const DWORD attributes = ::GetFileAttributesW(resolved.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      // Nothing there yet: the output creates it (a missing folder shows when the file is made).
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
      errno = ErrnoFromWin32(error);
      return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;  // the rename refuses it
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // A symbolic link: the file it names is written, the link stays.
      if (links == LINK_LIMIT) {
        errno = ELOOP;
        return false;
      }
      std::error_code error;
      const std::filesystem::path next = std::filesystem::read_symlink(resolved, error);
      if (!error) {
        resolved = next.is_absolute() ? next : resolved.parent_path() / next;
        continue;
      }
    }
    // A read-only file is one this user may not replace, as on any other system.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      errno = EACCES;
      return false;
    }
    return true;
  }
}

void ReplaceWithTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target,
                          std::error_code& error) {
  error.clear();
  if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD failure = ::GetLastError();
    // The system says only "access denied" when a folder stands there: say what is in the way.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    error = std::error_code(folder ? EISDIR : ErrnoFromWin32(failure), std::generic_category());
  }
}

std::FILE* OpenFileStream(const std::filesystem::path& path, const char* mode) {
  return ::_wfopen(path.c_str(), Utf8ToWide(mode).c_str());
}

bool SeekFileStream(std::FILE* file, std::int64_t offset, int origin) { return ::_fseeki64(file, offset, origin) == 0; }

std::int64_t TellFileStream(std::FILE* file) { return ::_ftelli64(file); }

std::vector<std::string> QueryCommandLineArguments(int argc, char** argv) {
  // The arguments as the user typed them, in UTF-16; argv holds them in the ANSI code page, which loses
  // every character outside it.
  int count = 0;
  wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (words == nullptr) return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8(words[i]));
  ::LocalFree(words);
  return arguments;
}

void PrepareConsoleOutput() {
  const UINT current = ::GetConsoleOutputCP();
  if (current == 0 || current == CP_UTF8) return;  // no console, or one that shows UTF-8 already
  if (::SetConsoleOutputCP(CP_UTF8)) {
    g_consoleCodePage = current;
    std::atexit(RestoreConsoleOutput);
  }
}

std::string QueryComputerName() {
  return QueryText([](wchar_t* buffer, DWORD& size) { return ::GetComputerNameW(buffer, &size) != 0; });
}

std::string QueryUserName() {
  return QueryText([](wchar_t* buffer, DWORD& size) { return ::GetUserNameW(buffer, &size) != 0; });
}

std::string QuerySystemDirectory() {
  return QueryText([](wchar_t* buffer, DWORD& size) { return ::GetSystemDirectoryW(buffer, size) != 0; });
}

std::string QueryModulePath() {
  // A path may be longer than 260 characters: the buffer grows until the whole path fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return WideToUtf8(std::wstring_view(buffer.data(), length));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string QueryOsName() {
  // RtlGetVersion tells the true version; GetVersionEx answers what the program's manifest allows.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  OSVERSIONINFOEXW facts{};
  facts.dwOSVersionInfoSize = sizeof facts;
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto rtlGetVersion =
      ntdll == nullptr
          ? nullptr
          : reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  if (rtlGetVersion == nullptr || rtlGetVersion(&facts) != 0) return {};
  WindowsVersion version;
  version.productType = facts.wProductType;
  version.major = facts.dwMajorVersion;
  version.minor = facts.dwMinorVersion;
  version.serverR2 = ::GetSystemMetrics(SM_SERVERR2) != 0;
  version.suiteMask = facts.wSuiteMask;
  // Versions after the table have no name: the record says none.
  return ChooseWindowsOsName(version).value_or(std::string());
}

void* LoadModuleFunction(const std::filesystem::path& module, const char* name, std::string& error) {
  // The module's own folder is searched for what it needs, not the program's.
  const HMODULE handle = ::LoadLibraryExW(module.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle == nullptr) {
    error = FormatText("cannot load %s: %s", PathToText(module).c_str(), DescribeWin32Error(::GetLastError()).c_str());
    return nullptr;
  }
  void* function = reinterpret_cast<void*>(::GetProcAddress(handle, name));
  if (function == nullptr) error = FormatText("no function %s in %s", name, PathToText(module).c_str());
  return function;
}

}  // namespace core
