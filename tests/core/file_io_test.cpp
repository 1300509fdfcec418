#include "core/file_io.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/temp_dir.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::uint8_t, 4> END_OF_TRACK{0x00, 0xFF, 0x2F, 0x00};

TEST(FileIo, LengthAndWholeFileTellEmptyFromMissing) {
  TempDir dir;
  WriteBytes(dir / "empty.bin", {});
  WriteBytes(dir / "three.bin", {1, 2, 3});
  EXPECT_EQ(core::GetFileLength(dir / "empty.bin"), 0);
  EXPECT_EQ(core::GetFileLength(dir / "missing.bin"), 0);
  EXPECT_EQ(core::GetFileLength(dir / "three.bin"), 3);
  ASSERT_TRUE(core::LoadWholeFile(dir / "empty.bin").has_value());
  EXPECT_TRUE(core::LoadWholeFile(dir / "empty.bin")->empty());
  EXPECT_FALSE(core::LoadWholeFile(dir / "missing.bin").has_value());
  EXPECT_EQ(*core::LoadWholeFile(dir / "three.bin"), (Bytes{1, 2, 3}));
  // A directory is not a file: no 2 GiB "length", no buffer.
  EXPECT_EQ(core::GetFileLength(dir.path()), 0);
  EXPECT_FALSE(core::LoadWholeFile(dir.path()).has_value());
  EXPECT_EQ(core::OpenFile(dir.path(), "rb"), nullptr);
  EXPECT_EQ(errno, EISDIR);
  // 2 GiB and more (a sparse file): refused as too large, not read in part.
  WriteBytes(dir / "huge.bin", {});
  std::filesystem::resize_file(dir / "huge.bin", std::uintmax_t{1} << 31);
  EXPECT_FALSE(core::LoadWholeFile(dir / "huge.bin").has_value());
  EXPECT_EQ(errno, EFBIG);
}

std::int32_t FindIn(const TempDir& dir, const Bytes& content) {
  WriteBytes(dir / "search.bin", content);
  core::FileHandle file = core::OpenFile(dir / "search.bin", "rb");
  return core::FindPatternInFile(file.get(), END_OF_TRACK);
}

TEST(FileIo, FindPatternGivesFirstMatchInFileOrder) {
  TempDir dir;
  EXPECT_EQ(core::FindPatternInFile(nullptr, END_OF_TRACK), -1);
  EXPECT_EQ(FindIn(dir, {}), -1);
  EXPECT_EQ(FindIn(dir, {0x00, 0xFF, 0x2F}), -1);
  EXPECT_EQ(FindIn(dir, {0x00, 0x00, 0x00, 0xFF, 0x2F, 0x00}), 2);
  EXPECT_EQ(FindIn(dir, {0x10, 0x00, 0xFF, 0x2F, 0x00, 0x00, 0xFF, 0x2F, 0x00}), 1);
  EXPECT_EQ(FindIn(dir, {0x00, 0xFF, 0x2F, 0x01}), -1);

  // Matches at the end of a large file and straddling the internal block edges.
  for (std::size_t position : {std::size_t{65533}, std::size_t{65534}, std::size_t{65535}, std::size_t{65536},
                               std::size_t{131069}, std::size_t{200000 - 4}}) {
    SCOPED_TRACE(position);
    Bytes big(200000, 0x11);
    std::copy(END_OF_TRACK.begin(), END_OF_TRACK.end(), big.begin() + static_cast<std::ptrdiff_t>(position));
    EXPECT_EQ(FindIn(dir, big), static_cast<std::int32_t>(position));
  }
}

TEST(FileIo, PositionedWritesChainAndTextHasNoTerminator) {
  TempDir dir;
  {
    core::FileHandle file = core::OpenFile(dir / "out.bin", "wb");
    const Bytes payload(45, 0xAB);
    EXPECT_EQ(core::WriteAt(file.get(), 16, payload), 61);
    core::WriteTextAt(file.get(), 0, "[%s]", "TAG");
  }
  Bytes expected(61, 0);
  expected[0] = '[';
  expected[1] = 'T';
  expected[2] = 'A';
  expected[3] = 'G';
  expected[4] = ']';
  std::fill(expected.begin() + 16, expected.end(), 0xAB);
  EXPECT_EQ(ReadBytes(dir / "out.bin"), expected);

  {
    core::FileHandle file = core::OpenFile(dir / "text.bin", "wb");
    core::WriteText(file.get(), "[%s]", "TAG");
    core::WriteText(file.get(), "%s", "length=3:00.000");
  }
  const Bytes text = ReadBytes(dir / "text.bin");
  EXPECT_EQ(std::string(text.begin(), text.end()), "[TAG]length=3:00.000");

  EXPECT_EQ(core::WriteAt(nullptr, 16, Bytes(45)), 0);
  core::WriteTextAt(nullptr, 0, "%s", "ignored");
  core::WriteText(nullptr, "%s", "ignored");
}

TEST(FileIo, ReadsZeroFillWhatTheFileDoesNotHold) {
  TempDir dir;
  WriteBytes(dir / "short.bin", {1, 2, 3, 4, 5});
  core::FileHandle file = core::OpenFile(dir / "short.bin", "rb");
  Bytes buffer(4, 0xEE);
  EXPECT_EQ(core::ReadAt(file.get(), 3, buffer), buffer.data());
  EXPECT_EQ(buffer, (Bytes{4, 5, 0, 0}));
  EXPECT_EQ(*core::ReadAll(file.get(), 7), (Bytes{1, 2, 3, 4, 5, 0, 0}));
  EXPECT_EQ(core::ReadAt(nullptr, 0, buffer), nullptr);
  EXPECT_FALSE(core::ReadAll(nullptr, 4).has_value());
}

TEST(FileIo, RenameNeverReplacesAnExistingFile) {
  TempDir dir;
  WriteBytes(dir / "a.seq", {1});
  WriteBytes(dir / "b.seq", {2});
  core::RenameFileTo(dir / "missing.seq", "%s/c.seq", dir.path().string().c_str());
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"a.seq", "b.seq"}));
  core::RenameFileTo(dir / "a.seq", "%s/b.seq", dir.path().string().c_str());
  EXPECT_EQ(ReadBytes(dir / "a.seq"), Bytes{1});
  EXPECT_EQ(ReadBytes(dir / "b.seq"), Bytes{2});
  core::RenameFileTo(dir / "a.seq", "%s/00.seq", dir.path().string().c_str());
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"00.seq", "b.seq"}));
  EXPECT_EQ(ReadBytes(dir / "00.seq"), Bytes{1});
}

}  // namespace
