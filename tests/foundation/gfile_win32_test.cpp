// What GFile does with the Win32 calls behind it: inheritance and the security records, file information,
// duplicated and borrowed handles, share modes, byte-range locks, delete on close.
#include <foundation/GFile.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

std::wstring Wide(const std::filesystem::path& path) { return path.wstring(); }
std::wstring Text(GString s) { return std::wstring(static_cast<const wchar_t*>(s)); }
HANDLE HandleOf(const GFile& file) { return LongToHandle(file.GetHandle()); }

bool Inherited(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0;
}

constexpr unsigned int CREATE = 0x1000;

TEST(GFileWin32, SecurityRecordsAndInheritance) {
  TempDir dir;
  GFile file;
  SECURITY_DESCRIPTOR* descriptor = file.GetSecurityDescriptor();
  ASSERT_NE(descriptor, nullptr);
  BOOL present = FALSE;
  BOOL defaulted = TRUE;
  PACL list = reinterpret_cast<PACL>(&present);
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted));
  EXPECT_TRUE(present);  // a null access list: everyone has access
  EXPECT_EQ(list, nullptr);
  ASSERT_NE(file.GetSecurityAttributes(), nullptr);
  EXPECT_EQ(file.GetSecurityAttributes()->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(file.GetSecurityAttributes()->lpSecurityDescriptor, descriptor);

  ASSERT_EQ(file.Open(Wide(dir / "a.bin").c_str(), 0x2 | CREATE), 1);
  EXPECT_TRUE(Inherited(HandleOf(file)));
  ASSERT_EQ(file.Open(Wide(dir / "a.bin").c_str(), 0x2 | 0x80), 1);
  EXPECT_FALSE(Inherited(HandleOf(file)));
  EXPECT_EQ(file.GetSecurityAttributes()->bInheritHandle, FALSE);
}

TEST(GFileWin32, InformationFromTheSystem) {
  TempDir dir;
  WriteBytes(dir / "info.bin", Bytes(1000, 0x55));
  GFile file(Wide(dir / "info.bin").c_str(), 0x0);
  BY_HANDLE_FILE_INFORMATION information{};
  ASSERT_EQ(file.GetInformation(information), 1);
  EXPECT_EQ(information.nFileSizeLow, 1000u);
  EXPECT_EQ(information.nFileSizeHigh, 0u);
  EXPECT_EQ(information.nNumberOfLinks, 1u);
  EXPECT_EQ(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  GFile none;
  EXPECT_EQ(none.GetInformation(information), 0);
}

TEST(GFileWin32, PathTitleAndBackslashes) {
  TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  WriteBytes(dir / "t.bin", {1});
  const std::wstring given = Wide(dir.path()) + L"\\sub\\..\\t.bin";
  GFile file(given.c_str(), 0x0);
  ASSERT_NE(file.GetHandle(), -1);
  EXPECT_EQ(Text(file.GetFileName()), given);
  EXPECT_TRUE(std::filesystem::equivalent(Text(file.GetFilePath()), dir / "t.bin"));
  EXPECT_EQ(Text(file.GetFilePath()).rfind(L"\\\\?\\", 0), std::wstring::npos);  // no long-path prefix
  EXPECT_EQ(Text(file.GetFileTitleW()), L"t.bin");
}

TEST(GFileWin32, ShareModesKeepOtherOpenersOut) {
  TempDir dir;
  const std::wstring path = Wide(dir / "shared.bin");
  WriteBytes(dir / "shared.bin", {1, 2, 3});
  {
    GFile exclusive(path.c_str(), 0x0 | 0x10);
    ASSERT_NE(exclusive.GetHandle(), -1);
    GFile other;
    EXPECT_EQ(other.Open(path.c_str(), 0x0 | 0x40), 0);
  }
  {
    GFile readers(path.c_str(), 0x0 | 0x20);
    GFile reader;
    EXPECT_EQ(reader.Open(path.c_str(), 0x0 | 0x40), 1);
    GFile writer;
    EXPECT_EQ(writer.Open(path.c_str(), 0x1 | 0x40), 0);
  }
  GFile both(path.c_str(), 0x2 | 0x40);
  GFile writer;
  EXPECT_EQ(writer.Open(path.c_str(), 0x1 | 0x40), 1);
}

TEST(GFileWin32, RangesAreLockedAndUnlocked) {
  TempDir dir;
  const std::wstring path = Wide(dir / "locks.bin");
  WriteBytes(dir / "locks.bin", Bytes(100, 0));
  GFile file(path.c_str(), 0x2 | 0x40);
  GFile other(path.c_str(), 0x2 | 0x40);
  ASSERT_NE(other.GetHandle(), -1);
  // Whether another handle finds part of the range locked.
  auto lockedForOthers = [&](DWORD start, DWORD length) {
    OVERLAPPED at{};
    at.Offset = start;
    if (!::LockFileEx(HandleOf(other), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, length, 0, &at)) {
      return true;
    }
    ::UnlockFileEx(HandleOf(other), 0, length, 0, &at);
    return false;
  };
  file.LockRange(10, 20);
  EXPECT_TRUE(lockedForOthers(15, 1));
  EXPECT_FALSE(lockedForOthers(30, 10));
  file.UnlockRange(10, 20);
  EXPECT_FALSE(lockedForOthers(15, 1));
  file.LockRange(0, 0);  // a count of 0 locks nothing
  EXPECT_FALSE(lockedForOthers(0, 100));
}

TEST(GFileWin32, DuplicateAndBorrowedHandles) {
  TempDir dir;
  WriteBytes(dir / "dup.bin", {1, 2, 3, 4});
  GFile file(Wide(dir / "dup.bin").c_str(), 0x0 | 0x20);
  const std::unique_ptr<GFile> copy(file.Duplicate());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->GetHandle(), file.GetHandle());
  EXPECT_FALSE(Inherited(HandleOf(*copy)));
  EXPECT_EQ(Text(copy->GetFilePath()), Text(file.GetFilePath()));
  char bytes[2] = {};
  EXPECT_EQ(copy->Read(bytes, 2), 2u);
  EXPECT_EQ(file.GetPosition(), 2u);  // one open file, one position

  const HANDLE own = ::CreateFileW(Wide(dir / "dup.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(own, INVALID_HANDLE_VALUE);
  {
    GFile borrowed(static_cast<long long>(HandleToLong(own)));
    EXPECT_EQ(borrowed.GetLength(), 4u);
  }
  DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(own, &flags));  // a borrowed handle stays open
  ::CloseHandle(own);
  GFile invalid(static_cast<long long>(1) << 40);
  EXPECT_EQ(invalid.GetHandle(), -1);
}

TEST(GFileWin32, DeleteWhenClosed) {
  TempDir dir;
  {
    GFile file(Wide(dir / "gone.bin").c_str(), 0x2 | CREATE | 0x100000);
    ASSERT_NE(file.GetHandle(), -1);
    file.Write("abc", 3);
    EXPECT_EQ(file.GetLength(), 3u);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "gone.bin"));
}

}  // namespace
