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
constexpr unsigned int KEEP = 0x2000;

TEST(GFileOpen, CreateFlagsDecideWhatHappensToTheContents) {
  TempDir dir;
  const auto path = dir / "data.bin";
  WriteBytes(path, {1, 2, 3});
  {
    GFile file;
    ASSERT_EQ(file.Open(Wide(path).c_str(), 0x2 | CREATE | KEEP), 1);
    EXPECT_EQ(file.GetLength(), 3u);
  }
  EXPECT_EQ(ReadBytes(path), (Bytes{1, 2, 3}));
  {
    GFile file;
    ASSERT_EQ(file.Open(Wide(path).c_str(), 0x1 | CREATE), 1);
    EXPECT_EQ(file.GetLength(), 0u);
  }
  EXPECT_EQ(ReadBytes(path), Bytes{});

  const auto missing = dir / "missing.bin";
  GFile file;
  EXPECT_EQ(file.Open(Wide(missing).c_str(), 0x0), 0);
  EXPECT_EQ(file.GetHandle(), -1);
  EXPECT_EQ(Text(file.GetFileName()), L"");
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_EQ(file.Open(Wide(missing).c_str(), 0x2 | CREATE | KEEP), 1);  // created when missing
  EXPECT_TRUE(std::filesystem::exists(missing));
  EXPECT_EQ(file.Open(Wide(dir / "other.bin").c_str(), 0x8000 | CREATE), 1);  // 0x8000 has no effect
  // Unbuffered, write-through and sequential opening are accepted on any file system.
  EXPECT_EQ(file.Open(Wide(dir / "other.bin").c_str(), 0x2 | 0x10000 | 0x20000 | 0x80000), 1);
  EXPECT_EQ(file.Open(Wide(dir.path()).c_str(), 0x0), 0);  // a directory is no file
  EXPECT_EQ(file.Open(nullptr, 0x0), 0);
}

TEST(GFileOpen, NamesPathAndTitle) {
  TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  WriteBytes(dir / "sub" / "song.seq", {0});
  const auto real = std::filesystem::canonical(dir / "sub" / "song.seq");
  const std::wstring given = Wide(dir / "sub" / ".." / "sub" / "song.seq");

  GFile file(given.c_str(), 0x0);
  ASSERT_NE(file.GetHandle(), -1);
  EXPECT_EQ(Text(file.GetFileName()), given);
  EXPECT_EQ(Text(file.GetFilePath()), Wide(real));
  EXPECT_EQ(Text(file.GetFileTitleW()), L"song.seq");

  file.SetFilePath(L"renamed");
  EXPECT_EQ(Text(file.GetFileName()), L"renamed");
  EXPECT_EQ(Text(file.GetFilePath()), Wide(real));

  file.Close();
  EXPECT_EQ(file.GetHandle(), -1);
  EXPECT_EQ(Text(file.GetFileName()), L"");
  EXPECT_EQ(Text(file.GetFilePath()), L"");
  EXPECT_EQ(Text(file.GetFileTitleW()), L"");
}

TEST(GFileIo, ReadWriteSeekAndLength) {
  TempDir dir;
  const auto path = dir / "io.bin";
  GFile file(Wide(path).c_str(), 0x2 | CREATE);
  const unsigned char bytes[] = {10, 20, 30, 40, 50};
  file.Write(bytes, sizeof bytes);
  file.Write(bytes, 0);
  file.Flush();
  EXPECT_EQ(file.GetPosition(), 5u);
  EXPECT_EQ(file.GetLength(), 5u);

  file.SeekToBegin();
  unsigned char read[8] = {};
  EXPECT_EQ(file.Read(read, 0), 0u);
  EXPECT_EQ(file.Read(read, 2), 2u);
  EXPECT_EQ(read[0], 10);
  EXPECT_EQ(read[1], 20);
  EXPECT_EQ(file.Seek(1, 1), 3u);
  EXPECT_EQ(file.Seek(static_cast<unsigned long long>(-2), 2), 3u);  // backwards from the end
  EXPECT_EQ(file.ReadHuge(read, 8), 2ul);                            // only two bytes are left
  EXPECT_EQ(read[0], 40);
  EXPECT_EQ(file.SeekToEnd(), 5u);
  EXPECT_EQ(file.Seek(0, 3), 0xFFFFFFFFu);
  EXPECT_EQ(file.Seek(static_cast<unsigned long long>(-10), 0), 0u);  // a move before the start fails

  EXPECT_EQ(file.SetEndOfFile(2), 1);
  EXPECT_EQ(file.GetLength(), 2u);
  file.SetLength(4);
  EXPECT_EQ(file.GetLength(), 4u);
  file.SeekToEnd();
  file.WriteHuge(bytes, 1);
  file.Close();
  EXPECT_EQ(ReadBytes(path), (Bytes{10, 20, 0, 0, 10}));
}

TEST(GFileIo, WithoutAFile) {
  GFile file;
  unsigned char byte = 7;
  EXPECT_EQ(file.GetHandle(), -1);
  EXPECT_EQ(static_cast<int>(file), -1);
  EXPECT_EQ(file.Seek(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(file.GetPosition(), ~0ull);
  EXPECT_EQ(file.GetLength(), 0u);
  EXPECT_EQ(file.Read(&byte, 1), 0u);
  file.Write(&byte, 1);
  file.Flush();
  file.LockRange(0, 1);
  file.UnlockRange(0, 1);
  EXPECT_EQ(file.SetEndOfFile(0), 0);
  BY_HANDLE_FILE_INFORMATION information;
  EXPECT_EQ(file.GetInformation(information), 0);
  EXPECT_EQ(file.Duplicate(), nullptr);
}

TEST(GFileIo, AccessModes) {
  TempDir dir;
  const auto path = dir / "modes.bin";
  WriteBytes(path, {1, 2, 3});
  unsigned char byte = 0;
  {
    GFile writeOnly(Wide(path).c_str(), 0x1 | CREATE | KEEP);
    EXPECT_EQ(writeOnly.Read(&byte, 1), 0u);
    writeOnly.Write("\x09", 1);
  }
  {
    GFile readOnly(Wide(path).c_str(), 0x0);
    readOnly.Write("\x08", 1);  // refused by the system
    EXPECT_EQ(readOnly.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 9);
  }
  {
    // No access rights: the file can be measured, not read.
    GFile noAccess(Wide(path).c_str(), 0x3);
    ASSERT_NE(noAccess.GetHandle(), -1);
    EXPECT_EQ(noAccess.GetLength(), 3u);
    EXPECT_EQ(noAccess.Read(&byte, 1), 0u);
  }
  GFile created(Wide(dir / "new.bin").c_str(), 0x3 | CREATE);
  EXPECT_NE(created.GetHandle(), -1);
  EXPECT_TRUE(std::filesystem::exists(dir / "new.bin"));
  EXPECT_EQ(ReadBytes(path), (Bytes{9, 2, 3}));
}

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

// Counts the calls that other operations make through the virtual table.
class CountingFile : public GFile {
 public:
  unsigned int Read(void* buffer, unsigned int count) override {
    ++reads;
    return GFile::Read(buffer, count);
  }
  void Write(const void* buffer, unsigned int count) override {
    ++writes;
    GFile::Write(buffer, count);
  }
  unsigned long long Seek(unsigned long long offset, unsigned int origin) override {
    ++seeks;
    return GFile::Seek(offset, origin);
  }
  void Close() override {
    ++closes;
    GFile::Close();
  }
  int reads = 0;
  int writes = 0;
  int seeks = 0;
  int closes = 0;
};

TEST(GFileVirtuals, OperationsCallTheDerivedVersions) {
  TempDir dir;
  const auto path = dir / "virtual.txt";
  auto* counting = new CountingFile;
  std::unique_ptr<GFile> file(counting);  // destroyed whole through the base
  ASSERT_EQ(file->Open(Wide(path).c_str(), 0x2 | CREATE), 1);
  EXPECT_EQ(counting->closes, 1);
  WriteBOM(*file);
  WriteUtf8(GString(L"x"), *file);
  file->WriteHuge("y", 1);
  EXPECT_EQ(counting->writes, 3);
  file->SeekToBegin();
  EXPECT_EQ(file->SeekToEnd(), 5u);
  file->SetLength(4);
  EXPECT_EQ(counting->seeks, 3);
  file->SeekToBegin();
  EXPECT_EQ(ReadBOM(*file), 1);
  char rest[2] = {};
  EXPECT_EQ(file->ReadHuge(rest, 2), 1ul);
  EXPECT_EQ(counting->reads, 2);
}

TEST(GFileStatics, RenameKeepsExistingTargetsAndRemoveDeletesFiles) {
  TempDir dir;
  WriteBytes(dir / "a", {1});
  WriteBytes(dir / "b", {2});
  GFile::Rename(Wide(dir / "a").c_str(), Wide(dir / "b").c_str());
  EXPECT_EQ(ReadBytes(dir / "b"), Bytes{2});
  EXPECT_TRUE(std::filesystem::exists(dir / "a"));
  GFile::Rename(Wide(dir / "a").c_str(), Wide(dir / "c").c_str());
  EXPECT_EQ(ReadBytes(dir / "c"), Bytes{1});
  EXPECT_FALSE(std::filesystem::exists(dir / "a"));

  GFile::Remove(Wide(dir / "c").c_str());
  EXPECT_FALSE(std::filesystem::exists(dir / "c"));
  std::filesystem::create_directory(dir / "d");
  GFile::Remove(Wide(dir / "d").c_str());
  EXPECT_TRUE(std::filesystem::exists(dir / "d"));
  GFile::Remove(nullptr);
}

}  // namespace
