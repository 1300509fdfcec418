#include <foundation/GFile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>

#include "unicode.h"

namespace {

using foundation_detail::NativeName;

constexpr int NO_HANDLE = -1;
constexpr unsigned long long NO_FILE_SEEK_RESULT = 0xFFFFFFFFull;
constexpr unsigned long long NO_FILE_POSITION = ~0ull;
constexpr unsigned int IGNORED_FLAG = 0x8000;
constexpr off_t MAX_OFFSET = std::numeric_limits<off_t>::max();

// Seconds between 1601-01-01 and 1970-01-01.
constexpr long long FILETIME_EPOCH_SECONDS = 11644473600LL;

// Repeats a system call that a signal interrupted.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// A descriptor that is closed unless it is handed on.
class DescriptorGuard {
 public:
  explicit DescriptorGuard(int fd) : m_fd(fd) {}
  ~DescriptorGuard() {
    if (m_fd >= 0) ::close(m_fd);
  }
  DescriptorGuard(const DescriptorGuard&) = delete;
  DescriptorGuard& operator=(const DescriptorGuard&) = delete;
  int get() const { return m_fd; }
  int release() { return std::exchange(m_fd, NO_HANDLE); }

 private:
  int m_fd;
};

FILETIME ToFileTime(long long seconds, long long nanoseconds) {
  const long long since1601 = seconds + FILETIME_EPOCH_SECONDS;
  unsigned long long ticks = 0;
  if (since1601 >= 0)
    ticks =
        static_cast<unsigned long long>(since1601) * 10000000ull + static_cast<unsigned long long>(nanoseconds / 100);
  return FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

// The full path of an opened file: its real path, else the lexically normal absolute name, else the name.
std::wstring FullPathOf(const std::string& native, const wchar_t* name) {
  if (char* real = ::realpath(native.c_str(), nullptr)) {
    std::wstring path = foundation_detail::Utf8ToWide(real);
    std::free(real);
    return path;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(native, error);
  if (!error) return foundation_detail::Utf8ToWide(absolute.lexically_normal().string());
  return name;
}

// Creates (or empties) a file for an opening without access rights, which O_PATH cannot do by itself.
bool PrepareFileWithoutAccess(const std::string& native, bool truncate) {
  if (truncate) {
    const int fd =
        RetryOnInterrupt([&] { return ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); });
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }
  struct stat info;
  if (::stat(native.c_str(), &info) == 0) return true;
  if (errno != ENOENT) return false;
  // A new file may be opened for reading whatever its mode says.
  const int fd = RetryOnInterrupt([&] { return ::open(native.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666); });
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// The lock type that the handle's access allows: exclusive when it may write.
short LockTypeFor(int fd) {
  const int access = ::fcntl(fd, F_GETFL) & O_ACCMODE;
  return (access == O_WRONLY || access == O_RDWR) ? F_WRLCK : F_RDLCK;
}

void ChangeLock(int fd, short type, unsigned long long position, unsigned long long count) {
  if (fd == NO_HANDLE || count == 0) return;
  const off_t start = static_cast<off_t>(std::min<unsigned long long>(position, MAX_OFFSET));
  const off_t length =
      static_cast<off_t>(std::min<unsigned long long>(count, static_cast<unsigned long long>(MAX_OFFSET - start)));
  if (length == 0) return;
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  RetryOnInterrupt([&] { return ::fcntl(fd, F_OFD_SETLK, &lock); });
}

}  // namespace

GFile::~GFile() {
  if (m_handle != NO_HANDLE && m_closeOnDelete != 0) ::close(m_handle);
  m_Uninitialize();
}

void GFile::m_Initialize() {
  m_closeOnDelete = 0;
  m_Uninitialize();
  try {
    auto descriptor = std::make_unique<SECURITY_DESCRIPTOR>();
    descriptor->Revision = 1;
    descriptor->DaclPresent = 1;
    descriptor->DaclEntries = 0;
    auto attributes = std::make_unique<SECURITY_ATTRIBUTES>();
    attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    attributes->lpSecurityDescriptor = descriptor.get();
    attributes->bInheritHandle = 1;
    m_securityDescriptor = std::move(descriptor);
    m_securityAttributes = std::move(attributes);
  } catch (...) {
    m_Uninitialize();
  }
}

void GFile::Close() {
  if (m_handle != NO_HANDLE) ::close(m_handle);
  m_handle = NO_HANDLE;
  m_filePath.Empty();
  m_fileName.Empty();
  m_fileTitle.Empty();
  m_closeOnDelete = 0;
  m_handleCopy = -1;
}

GFile* GFile::Duplicate() const {
  if (m_handle == NO_HANDLE) return nullptr;
  auto copy = std::make_unique<GFile>();
  const int fd = ::fcntl(m_handle, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  copy->m_handle = fd;
  copy->m_handleCopy = fd;
  // The duplicate is a handle of its own that nobody else closes.
  copy->m_closeOnDelete = 1;
  copy->m_filePath = m_filePath;
  copy->m_fileName = m_fileName;
  copy->m_fileTitle = m_fileTitle;
  return copy.release();
}

void GFile::Flush() {
  if (m_handle != NO_HANDLE) ::fsync(m_handle);
}

GString GFile::GetFileTitleW() {
  if (m_fileTitle.IsEmpty() && !m_filePath.IsEmpty()) {
    const int slash = m_filePath.ReverseFind(L'/');
    m_fileTitle = m_filePath.Mid(slash + 1);
  }
  return m_fileTitle;
}

int GFile::GetInformation(BY_HANDLE_FILE_INFORMATION& information) const {
  if (m_handle == NO_HANDLE) return 0;
  struct statx info;
  if (::statx(m_handle, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return 0;
  information = BY_HANDLE_FILE_INFORMATION{};
  std::uint32_t attributes = 0;
  if (S_ISDIR(info.stx_mode)) attributes |= 0x10;
  if ((info.stx_mode & S_IWUSR) == 0) attributes |= 0x01;
  information.dwFileAttributes = attributes != 0 ? attributes : 0x80;
  if ((info.stx_mask & STATX_BTIME) != 0) {
    information.ftCreationTime = ToFileTime(info.stx_btime.tv_sec, info.stx_btime.tv_nsec);
  }
  information.ftLastAccessTime = ToFileTime(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
  information.ftLastWriteTime = ToFileTime(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
  information.dwVolumeSerialNumber = static_cast<std::uint32_t>(makedev(info.stx_dev_major, info.stx_dev_minor));
  information.nFileSizeHigh = static_cast<std::uint32_t>(info.stx_size >> 32);
  information.nFileSizeLow = static_cast<std::uint32_t>(info.stx_size);
  information.nNumberOfLinks = info.stx_nlink;
  information.nFileIndexHigh = static_cast<std::uint32_t>(info.stx_ino >> 32);
  information.nFileIndexLow = static_cast<std::uint32_t>(info.stx_ino);
  return 1;
}

unsigned long long GFile::GetLength() const {
  if (m_handle == NO_HANDLE) return 0;
  struct stat info;
  if (::fstat(m_handle, &info) != 0) return 0;
  return static_cast<unsigned long long>(info.st_size);
}

unsigned long long GFile::GetPosition() const {
  if (m_handle == NO_HANDLE) return NO_FILE_POSITION;
  const off_t position = ::lseek(m_handle, 0, SEEK_CUR);
  return position < 0 ? 0 : static_cast<unsigned long long>(position);
}

void GFile::LockRange(unsigned long long position, unsigned long long count) {
  if (m_handle == NO_HANDLE) return;
  ChangeLock(m_handle, LockTypeFor(m_handle), position, count);
}

int GFile::Open(const wchar_t* name, unsigned int flags) {
  Close();
  try {
    if (name == nullptr) return 0;
    flags &= ~IGNORED_FLAG;
    m_fileName = name;
    m_fileTitle.Empty();
    const std::string native = NativeName(name);

    SECURITY_ATTRIBUTES* security = GetSecurityAttributes();
    if (security != nullptr) security->bInheritHandle = (flags & MODE_NO_INHERIT) != 0 ? 0 : 1;
    const bool inherited = security != nullptr && security->bInheritHandle != 0;

    const bool create = (flags & MODE_CREATE) != 0;
    const bool truncate = create && (flags & MODE_NO_TRUNCATE) == 0;
    const bool noAccess = (flags & 3) == MODE_NO_ACCESS;
    int openFlags = inherited ? 0 : O_CLOEXEC;
    if (noAccess) {
      if (create && !PrepareFileWithoutAccess(native, truncate)) {
        Close();
        return 0;
      }
      openFlags |= O_PATH;
    } else {
      static constexpr int ACCESS[] = {O_RDONLY, O_WRONLY, O_RDWR};
      openFlags |= ACCESS[flags & 3];
      if (create) openFlags |= O_CREAT;
      if (truncate) openFlags |= O_TRUNC;
      if ((flags & OS_NO_BUFFER) != 0) openFlags |= O_DIRECT;
      if ((flags & OS_WRITE_THROUGH) != 0) openFlags |= O_DSYNC;
    }

    int fd = RetryOnInterrupt([&] { return ::open(native.c_str(), openFlags, 0666); });
    if (fd < 0 && errno == EINVAL && (openFlags & O_DIRECT) != 0) {
      // The file system cannot bypass its cache (tmpfs, for one): open buffered instead.
      openFlags &= ~O_DIRECT;
      fd = RetryOnInterrupt([&] { return ::open(native.c_str(), openFlags, 0666); });
    }
    DescriptorGuard guard(fd);
    struct stat info;
    // A GFile holds files only; directories are refused as the system refuses to open them as files.
    if (fd < 0 || ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
      Close();
      return 0;
    }
    if (!noAccess) {
      if ((flags & OS_RANDOM_ACCESS) != 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
      if ((flags & OS_SEQUENTIAL_SCAN) != 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    m_filePath = FullPathOf(native, name).c_str();
    // Removing the name now makes the file disappear when its last handle is closed.
    if ((flags & OS_DELETE_ON_CLOSE) != 0) ::unlink(native.c_str());

    m_handle = guard.release();
    m_handleCopy = m_handle;
    m_closeOnDelete = 1;
    return 1;
  } catch (...) {
    Close();
    return 0;
  }
}

unsigned int GFile::Read(void* buffer, unsigned int count) {
  if (count == 0 || buffer == nullptr || m_handle == NO_HANDLE) return 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  unsigned int total = 0;
  while (total < count) {
    const ssize_t got = RetryOnInterrupt([&] { return ::read(m_handle, bytes + total, count - total); });
    if (got <= 0) break;
    total += static_cast<unsigned int>(got);
  }
  return total;
}

unsigned long GFile::ReadHuge(void* buffer, unsigned long count) {
  // Read counts in unsigned int: larger requests are passed on in pieces.
  auto* bytes = static_cast<unsigned char*>(buffer);
  unsigned long total = 0;
  while (total < count) {
    const auto piece = static_cast<unsigned int>(std::min<unsigned long>(count - total, UINT_MAX));
    const unsigned int got = Read(bytes + total, piece);
    total += got;
    if (got < piece) break;
  }
  return total;
}

unsigned long long GFile::Seek(unsigned long long offset, unsigned int origin) {
  static constexpr int WHENCE[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (m_handle == NO_HANDLE || origin > FROM_END) return NO_FILE_SEEK_RESULT;
  // The offset is taken as a signed distance: a backwards move arrives as its two's complement.
  const off_t position = ::lseek(m_handle, static_cast<off_t>(offset), WHENCE[origin]);
  return position < 0 ? 0 : static_cast<unsigned long long>(position);
}

int GFile::SetEndOfFile(unsigned long long position) {
  Seek(position, FROM_BEGIN);
  if (m_handle == NO_HANDLE) return 0;
  const off_t here = ::lseek(m_handle, 0, SEEK_CUR);
  if (here < 0) return 0;
  return RetryOnInterrupt([&] { return ::ftruncate(m_handle, here); }) == 0 ? 1 : 0;
}

void GFile::UnlockRange(unsigned long long position, unsigned long long count) {
  ChangeLock(m_handle, F_UNLCK, position, count);
}

void GFile::Write(const void* buffer, unsigned int count) {
  if (count == 0 || buffer == nullptr || m_handle == NO_HANDLE) return;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  unsigned int done = 0;
  while (done < count) {
    const ssize_t put = RetryOnInterrupt([&] { return ::write(m_handle, bytes + done, count - done); });
    if (put <= 0) break;
    done += static_cast<unsigned int>(put);
  }
}

void GFile::WriteHuge(const void* buffer, unsigned long count) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  for (unsigned long done = 0; done < count;) {
    const auto piece = static_cast<unsigned int>(std::min<unsigned long>(count - done, UINT_MAX));
    Write(bytes + done, piece);
    done += piece;
  }
}

void GFile::Rename(const wchar_t* oldName, const wchar_t* newName) {
  if (oldName == nullptr || newName == nullptr) return;
  const std::string from = NativeName(oldName);
  const std::string to = NativeName(newName);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno != EINVAL && errno != ENOSYS) return;
  // A file system without the no-replace rename: check first (not atomic, the best it allows).
  struct stat info;
  if (::lstat(to.c_str(), &info) == 0) return;
  std::rename(from.c_str(), to.c_str());
}

void GFile::Remove(const wchar_t* name) {
  if (name == nullptr) return;
  ::unlink(NativeName(name).c_str());
}
