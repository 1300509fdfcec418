// What GFile does with the POSIX calls behind it: descriptor flags, fstat, duplicated and borrowed
// descriptors, open-file-description locks.
#include <foundation/GFile.h>
#include <foundation/TextFile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

std::wstring Wide(const std::filesystem::path& path) { return path.wstring(); }

std::wstring Text(GString s) { return std::wstring(static_cast<const wchar_t*>(s)); }

constexpr unsigned int CREATE = 0x1000;

TEST(GFileOpen, InheritanceAndSecurityRecords) {
  TempDir dir;
  const auto path = dir / "inherit.bin";
  GFile file;
  ASSERT_NE(file.GetSecurityAttributes(), nullptr);
  ASSERT_NE(file.GetSecurityDescriptor(), nullptr);
  EXPECT_EQ(file.GetSecurityAttributes()->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(file.GetSecurityAttributes()->lpSecurityDescriptor, file.GetSecurityDescriptor());
  EXPECT_EQ(file.GetSecurityDescriptor()->Revision, 1);
  EXPECT_EQ(file.GetSecurityDescriptor()->DaclPresent, 1);
  EXPECT_EQ(file.GetSecurityDescriptor()->DaclEntries, 0);

  ASSERT_EQ(file.Open(Wide(path).c_str(), 0x2 | CREATE), 1);
  EXPECT_EQ(file.GetSecurityAttributes()->bInheritHandle, 1);
  EXPECT_EQ(::fcntl(file.GetHandle(), F_GETFD) & FD_CLOEXEC, 0);
  ASSERT_EQ(file.Open(Wide(path).c_str(), 0x2 | 0x80), 1);
  EXPECT_EQ(file.GetSecurityAttributes()->bInheritHandle, 0);
  EXPECT_EQ(::fcntl(file.GetHandle(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

TEST(GFileOpen, DeleteWhenClosed) {
  TempDir dir;
  const auto path = dir / "scratch.bin";
  GFile file(Wide(path).c_str(), 0x2 | CREATE | 0x100000 | 0x40000);
  ASSERT_NE(file.GetHandle(), -1);
  EXPECT_FALSE(std::filesystem::exists(path));
  file.Write("abc", 3);
  file.SeekToBegin();
  char read[3] = {};
  EXPECT_EQ(file.Read(read, 3), 3u);
  EXPECT_EQ(std::string(read, 3), "abc");
}

TEST(GFileInfo, InformationFromTheSystem) {
  TempDir dir;
  const auto path = dir / "info.bin";
  WriteBytes(path, Bytes(1000, 0x55));
  GFile file(Wide(path).c_str(), 0x0);
  BY_HANDLE_FILE_INFORMATION information;
  ASSERT_EQ(file.GetInformation(information), 1);
  struct stat expected;
  ASSERT_EQ(::stat(path.c_str(), &expected), 0);
  EXPECT_EQ(information.dwFileAttributes, 0x80u);
  EXPECT_EQ(information.nFileSizeHigh, 0u);
  EXPECT_EQ(information.nFileSizeLow, 1000u);
  EXPECT_EQ(information.nNumberOfLinks, 1u);
  EXPECT_EQ(information.nFileIndexLow, static_cast<std::uint32_t>(expected.st_ino));
  const unsigned long long written =
      (static_cast<unsigned long long>(information.ftLastWriteTime.dwHighDateTime) << 32) |
      information.ftLastWriteTime.dwLowDateTime;
  // 100-nanosecond steps since 1601: seconds since 1970 plus 11644473600.
  EXPECT_EQ(written / 10000000ull, static_cast<unsigned long long>(expected.st_mtim.tv_sec) + 11644473600ull);
}

TEST(GFileHandles, DuplicateAndBorrowedHandles) {
  TempDir dir;
  const auto path = dir / "dup.bin";
  WriteBytes(path, {1, 2, 3, 4});
  GFile file(Wide(path).c_str(), 0x0);
  std::unique_ptr<GFile> copy(file.Duplicate());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->GetHandle(), file.GetHandle());
  EXPECT_EQ(Text(copy->GetFileName()), Text(file.GetFileName()));
  EXPECT_EQ(Text(copy->GetFilePath()), Text(file.GetFilePath()));
  EXPECT_EQ(Text(copy->GetFileTitleW()), L"dup.bin");
  EXPECT_EQ(::fcntl(copy->GetHandle(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  unsigned char byte = 0;
  EXPECT_EQ(copy->Read(&byte, 1), 1u);
  EXPECT_EQ(file.GetPosition(), 1u);  // one file position behind both handles
  copy.reset();
  EXPECT_EQ(file.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 2);

  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  int duplicateFd = -1;
  {
    GFile borrowed(static_cast<long long>(fd));
    EXPECT_EQ(borrowed.GetHandle(), fd);
    std::unique_ptr<GFile> owned(borrowed.Duplicate());
    ASSERT_NE(owned, nullptr);
    duplicateFd = owned->GetHandle();
  }
  EXPECT_NE(::fcntl(fd, F_GETFD), -1);           // the borrowed handle is still open
  EXPECT_EQ(::fcntl(duplicateFd, F_GETFD), -1);  // the duplicate was closed with its object
  ::close(fd);
  GFile invalid(static_cast<long long>(1) << 40);
  EXPECT_EQ(invalid.GetHandle(), -1);
}

TEST(GFileLocks, RangesAreLockedAndUnlocked) {
  TempDir dir;
  const auto path = dir / "locks.bin";
  WriteBytes(path, Bytes(100, 0));
  GFile file(Wide(path).c_str(), 0x2);
  file.LockRange(10, 20);

  const int other = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(other, 0);
  auto holder = [&](off_t start, off_t length) {
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = start;
    probe.l_len = length;
    EXPECT_EQ(::fcntl(other, F_OFD_GETLK, &probe), 0);
    return probe.l_type;
  };
  EXPECT_EQ(holder(15, 1), F_WRLCK);
  EXPECT_EQ(holder(30, 10), F_UNLCK);
  file.UnlockRange(10, 20);
  EXPECT_EQ(holder(15, 1), F_UNLCK);
  file.LockRange(0, 0);  // a count of 0 locks nothing
  EXPECT_EQ(holder(0, 100), F_UNLCK);
  ::close(other);
}

}  // namespace
