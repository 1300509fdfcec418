#include <foundation/GFile.h>
#include <foundation/TextFile.h>

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
