#include <foundation/GFile.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int NO_HANDLE = -1;
constexpr unsigned long long NO_FILE_SEEK_RESULT = 0xFFFFFFFFull;
constexpr unsigned long long NO_FILE_POSITION = ~0ull;
constexpr unsigned int IGNORED_FLAG = 0x8000;
constexpr DWORD CHUNK = 0x40000000;  // ReadFile and WriteFile move at most this much per call here

// Kernel handles fit in 32 bits and are kept sign-extended, so the int the interface holds converts back
// without loss (and -1 is INVALID_HANDLE_VALUE).
HANDLE ToHandle(int handle) { return LongToHandle(handle); }
int FromHandle(HANDLE handle) { return HandleToLong(handle); }

// The path as the file system knows the opened file (links resolved, the names' stored case), without the
// "\\?\" prefix; the full path of the given name when the system cannot say; the name itself as the last
// resort.
std::wstring FullPathOf(HANDLE handle, const wchar_t* name) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) break;
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
      if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
      return path;
    }
    buffer.resize(length + 1);
  }
  const DWORD needed = ::GetFullPathNameW(name, 0, nullptr, nullptr);
  if (needed > 0) {
    std::vector<wchar_t> full(needed);
    const DWORD length = ::GetFullPathNameW(name, needed, full.data(), nullptr);
    if (length > 0 && length < needed) return std::wstring(full.data(), length);
  }
  return name;
}

// The share mode of the open flags' bits 0x70.
DWORD ShareModeOf(unsigned int flags) {
  switch (flags & 0x70) {
    case GFile::SHARE_OTHERS_READ:
      return FILE_SHARE_READ;
    case GFile::SHARE_OTHERS_WRITE:
      return FILE_SHARE_WRITE;
    case GFile::SHARE_OTHERS_READ_WRITE:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:
      return 0;
  }
}

DWORD AttributesOf(unsigned int flags) {
  DWORD attributes =
      (flags & GFile::OS_NO_BUFFER) != 0 ? FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_NORMAL;
  if ((flags & GFile::OS_WRITE_THROUGH) != 0) attributes |= FILE_FLAG_WRITE_THROUGH;
  if ((flags & GFile::OS_RANDOM_ACCESS) != 0) attributes |= FILE_FLAG_RANDOM_ACCESS;
  if ((flags & GFile::OS_SEQUENTIAL_SCAN) != 0) attributes |= FILE_FLAG_SEQUENTIAL_SCAN;
  if ((flags & GFile::OS_DELETE_ON_CLOSE) != 0) attributes |= FILE_FLAG_DELETE_ON_CLOSE;
  return attributes;
}

// A byte range as the two 32-bit halves that the lock functions take; a range running past the largest
// offset is cut there.
struct LockSpan {
  OVERLAPPED start{};
  DWORD lengthLow = 0;
  DWORD lengthHigh = 0;
};

LockSpan SpanOf(unsigned long long position, unsigned long long count) {
  LockSpan span;
  count = std::min(count, ~0ull - position);
  span.start.Offset = static_cast<DWORD>(position);
  span.start.OffsetHigh = static_cast<DWORD>(position >> 32);
  span.lengthLow = static_cast<DWORD>(count);
  span.lengthHigh = static_cast<DWORD>(count >> 32);
  return span;
}

}  // namespace

GFile::~GFile() {
  if (m_handle != NO_HANDLE && m_closeOnDelete != 0) ::CloseHandle(ToHandle(m_handle));
  m_Uninitialize();
}

void GFile::m_Initialize() {
  m_closeOnDelete = 0;
  m_Uninitialize();
  try {
    // A present access list without entries, that is a null list: everyone has access.
    auto descriptor = std::make_unique<SECURITY_DESCRIPTOR>();
    if (!::InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(descriptor.get(), TRUE, nullptr, FALSE)) {
      return;
    }
    auto attributes = std::make_unique<SECURITY_ATTRIBUTES>();
    attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    attributes->lpSecurityDescriptor = descriptor.get();
    attributes->bInheritHandle = TRUE;
    m_securityDescriptor = std::move(descriptor);
    m_securityAttributes = std::move(attributes);
  } catch (...) {
    m_Uninitialize();
  }
}

void GFile::Close() {
  if (m_handle != NO_HANDLE) ::CloseHandle(ToHandle(m_handle));
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
  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), ToHandle(m_handle), ::GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  copy->m_handle = FromHandle(duplicate);
  copy->m_handleCopy = copy->m_handle;
  // The duplicate is a handle of its own that nobody else closes.
  copy->m_closeOnDelete = 1;
  copy->m_filePath = m_filePath;
  copy->m_fileName = m_fileName;
  copy->m_fileTitle = m_fileTitle;
  return copy.release();
}

void GFile::Flush() {
  if (m_handle != NO_HANDLE) ::FlushFileBuffers(ToHandle(m_handle));
}

GString GFile::GetFileTitleW() {
  if (m_fileTitle.IsEmpty() && !m_filePath.IsEmpty()) {
    // The last component: behind the last slash, backslash or drive colon.
    const int cut =
        std::max({m_filePath.ReverseFind(L'/'), m_filePath.ReverseFind(L'\\'), m_filePath.ReverseFind(L':')});
    m_fileTitle = m_filePath.Mid(cut + 1);
  }
  return m_fileTitle;
}

int GFile::GetInformation(BY_HANDLE_FILE_INFORMATION& information) const {
  if (m_handle == NO_HANDLE) return 0;
  return ::GetFileInformationByHandle(ToHandle(m_handle), &information) ? 1 : 0;
}

unsigned long long GFile::GetLength() const {
  if (m_handle == NO_HANDLE) return 0;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(ToHandle(m_handle), &size)) return 0;
  return static_cast<unsigned long long>(size.QuadPart);
}

unsigned long long GFile::GetPosition() const {
  if (m_handle == NO_HANDLE) return NO_FILE_POSITION;
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(ToHandle(m_handle), zero, &position, FILE_CURRENT)) return 0;
  return static_cast<unsigned long long>(position.QuadPart);
}

void GFile::LockRange(unsigned long long position, unsigned long long count) {
  if (m_handle == NO_HANDLE || count == 0) return;
  LockSpan span = SpanOf(position, count);
  ::LockFileEx(ToHandle(m_handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, span.lengthLow,
               span.lengthHigh, &span.start);
}

int GFile::Open(const wchar_t* name, unsigned int flags) {
  Close();
  try {
    if (name == nullptr) return 0;
    flags &= ~IGNORED_FLAG;
    m_fileName = name;
    m_fileTitle.Empty();

    SECURITY_ATTRIBUTES* security = GetSecurityAttributes();
    if (security != nullptr) security->bInheritHandle = (flags & MODE_NO_INHERIT) != 0 ? FALSE : TRUE;

    static constexpr DWORD ACCESS[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, 0};
    const bool create = (flags & MODE_CREATE) != 0;
    const DWORD disposition = !create ? OPEN_EXISTING : (flags & MODE_NO_TRUNCATE) != 0 ? OPEN_ALWAYS : CREATE_ALWAYS;
    // A directory is opened only with backup semantics, which are not asked for: it is refused.
    const HANDLE handle =
        ::CreateFileW(name, ACCESS[flags & 3], ShareModeOf(flags), security, disposition, AttributesOf(flags), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      Close();
      return 0;
    }
    m_filePath = FullPathOf(handle, name).c_str();
    m_handle = FromHandle(handle);
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
    DWORD got = 0;
    const DWORD want = std::min<DWORD>(count - total, CHUNK);
    if (!::ReadFile(ToHandle(m_handle), bytes + total, want, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

unsigned long GFile::ReadHuge(void* buffer, unsigned long count) {
  // unsigned long is 32 bits on Windows: one Read carries it.
  return Read(buffer, static_cast<unsigned int>(count));
}

unsigned long long GFile::Seek(unsigned long long offset, unsigned int origin) {
  static constexpr DWORD METHOD[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (m_handle == NO_HANDLE || origin > FROM_END) return NO_FILE_SEEK_RESULT;
  // The offset is taken as a signed distance: a backwards move arrives as its two's complement.
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(ToHandle(m_handle), distance, &position, METHOD[origin])) return 0;
  return static_cast<unsigned long long>(position.QuadPart);
}

int GFile::SetEndOfFile(unsigned long long position) {
  Seek(position, FROM_BEGIN);
  if (m_handle == NO_HANDLE) return 0;
  return ::SetEndOfFile(ToHandle(m_handle)) ? 1 : 0;
}

void GFile::UnlockRange(unsigned long long position, unsigned long long count) {
  if (m_handle == NO_HANDLE || count == 0) return;
  LockSpan span = SpanOf(position, count);
  ::UnlockFileEx(ToHandle(m_handle), 0, span.lengthLow, span.lengthHigh, &span.start);
}

void GFile::Write(const void* buffer, unsigned int count) {
  if (count == 0 || buffer == nullptr || m_handle == NO_HANDLE) return;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  unsigned int done = 0;
  while (done < count) {
    DWORD put = 0;
    const DWORD want = std::min<DWORD>(count - done, CHUNK);
    if (!::WriteFile(ToHandle(m_handle), bytes + done, want, &put, nullptr) || put == 0) break;
    done += put;
  }
}

void GFile::WriteHuge(const void* buffer, unsigned long count) { Write(buffer, static_cast<unsigned int>(count)); }

void GFile::Rename(const wchar_t* oldName, const wchar_t* newName) {
  if (oldName == nullptr || newName == nullptr) return;
  // MoveFileW never replaces an existing file.
  ::MoveFileW(oldName, newName);
}

void GFile::Remove(const wchar_t* name) {
  if (name == nullptr) return;
  ::DeleteFileW(name);
}
