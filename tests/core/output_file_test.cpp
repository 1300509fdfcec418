#include "core/output_file.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "core/file_io.h"
#include "support/temp_dir.h"
#include "support/test_system.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

TEST(OutputFile, TargetAppearsOnlyOnCommit) {
  TempDir dir;
  WriteBytes(dir / "song.psf", {9, 9, 9});
  {
    auto output = core::OutputFile::Create(dir / "song.psf");
    ASSERT_TRUE(output.has_value());
    core::WriteAt(output->stream(), 0, Bytes{1, 2});
    // Until the commit the old file stands as it was, beside the temporary one.
    EXPECT_EQ(ReadBytes(dir / "song.psf"), (Bytes{9, 9, 9}));
    EXPECT_EQ(dir.Listing().size(), 2U);
    EXPECT_TRUE(output->Commit());
  }
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"song.psf"});
  EXPECT_EQ(ReadBytes(dir / "song.psf"), (Bytes{1, 2}));

  if (testing_support::HasPermissionBits()) {
    EXPECT_NE(std::filesystem::status(dir / "song.psf").permissions() & std::filesystem::perms::group_read,
              std::filesystem::perms::none)
        << "outputs get ordinary permissions, not the temporary file's";
  }
}

TEST(OutputFile, AbandonedOutputLeavesNothing) {
  TempDir dir;
  WriteBytes(dir / "keep.vh", {7});
  {
    auto output = core::OutputFile::Create(dir / "keep.vh");
    ASSERT_TRUE(output.has_value());
    core::WriteAt(output->stream(), 0, Bytes(100, 1));
  }
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"keep.vh"});
  EXPECT_EQ(ReadBytes(dir / "keep.vh"), Bytes{7});
  {
    auto output = core::OutputFile::Create(dir / "new.vh");
    ASSERT_TRUE(output.has_value());
  }
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"keep.vh"});
}

TEST(OutputFile, FailuresWriteNothingAndSayWhy) {
  TempDir dir;
  core::TakeFailureReason();
  EXPECT_FALSE(core::OutputFile::Create(dir / "no-such-dir" / "x.psf").has_value());
  EXPECT_NE(core::TakeFailureReason().find("No such file or directory"), std::string::npos);

  // A directory standing at the target's name cannot be replaced by a file.
  std::filesystem::create_directory(dir / "taken.psf");
  EXPECT_FALSE(core::WriteWholeFile(dir / "taken.psf", Bytes{1, 2, 3}));
  EXPECT_FALSE(core::TakeFailureReason().empty());
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"taken.psf"});
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.psf"));

  EXPECT_TRUE(core::WriteWholeFile(dir / "whole.vb", Bytes{4, 5}));
  EXPECT_EQ(ReadBytes(dir / "whole.vb"), (Bytes{4, 5}));
}

TEST(OutputFile, MovedOutputCommitsOnce) {
  TempDir dir;
  auto first = core::OutputFile::Create(dir / "a.bin");
  ASSERT_TRUE(first.has_value());
  core::OutputFile moved = std::move(*first);
  core::WriteAt(moved.stream(), 0, Bytes{1});
  EXPECT_FALSE(first->Commit());
  EXPECT_TRUE(moved.Commit());
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"a.bin"});
}

}  // namespace

namespace {

TEST(OutputFile, ReplacedFileKeepsItsPermissionBits) {
  TempDir dir;
  WriteBytes(dir / "song.psf", {9});
  if (!testing_support::HasPermissionBits()) GTEST_SKIP() << "Windows files carry no permission bits";
  std::filesystem::permissions(dir / "song.psf", std::filesystem::perms(0604));
  EXPECT_TRUE(core::WriteWholeFile(dir / "song.psf", Bytes{1}));
  EXPECT_EQ(std::filesystem::status(dir / "song.psf").permissions(), std::filesystem::perms(0604));
  EXPECT_EQ(ReadBytes(dir / "song.psf"), Bytes{1});
}

TEST(OutputFile, SymbolicLinksAreWrittenThrough) {
  if (!testing_support::CanMakeSymbolicLinks()) GTEST_SKIP() << "symbolic links need a privilege on Windows";
  TempDir dir;
  std::filesystem::create_directory(dir / "store");
  WriteBytes(dir / "store" / "real.vh", {9});
  std::filesystem::create_symlink("store/real.vh", dir / "link.vh");
  std::filesystem::create_symlink("link.vh", dir / "chain.vh");                    // a link to a link
  std::filesystem::create_symlink(dir / "store" / "new.vb", dir / "dangling.vb");  // target not there yet
  EXPECT_TRUE(core::WriteWholeFile(dir / "chain.vh", Bytes{1, 2}));
  EXPECT_TRUE(core::WriteWholeFile(dir / "dangling.vb", Bytes{3}));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.vh"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "chain.vh"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.vb"));
  EXPECT_EQ(ReadBytes(dir / "store" / "real.vh"), (Bytes{1, 2}));
  EXPECT_EQ(ReadBytes(dir / "store" / "new.vb"), Bytes{3});

  std::filesystem::create_symlink("loop.vh", dir / "loop.vh");
  core::TakeFailureReason();
  EXPECT_FALSE(core::WriteWholeFile(dir / "loop.vh", Bytes{1}));
  EXPECT_NE(core::TakeFailureReason().find("Too many levels of symbolic links"), std::string::npos);
}

TEST(OutputFile, AFileTheUserMayNotWriteIsRefused) {
  if (testing_support::MayWriteEveryFile()) {
    GTEST_SKIP() << "root may write any file (the command-line test checks it unprivileged)";
  }
  TempDir dir;
  WriteBytes(dir / "locked.psf", {9});
  std::filesystem::permissions(dir / "locked.psf", std::filesystem::perms(0444));
  core::TakeFailureReason();
  EXPECT_FALSE(core::WriteWholeFile(dir / "locked.psf", Bytes{1}));
  EXPECT_EQ(core::TakeFailureReason(), "cannot write: Permission denied");
  EXPECT_EQ(ReadBytes(dir / "locked.psf"), Bytes{9});
}

TEST(IsSameFile, ComparesFileIdentityNotSpelling) {
  TempDir dir;
  WriteBytes(dir / "a.vh", {1});
  WriteBytes(dir / "b.vh", {1});
  std::filesystem::create_hard_link(dir / "a.vh", dir / "hard.vh");
  EXPECT_TRUE(core::IsSameFile(dir / "a.vh", dir / "." / "a.vh"));
  EXPECT_TRUE(core::IsSameFile(dir / "a.vh", dir / "hard.vh"));
  if (testing_support::CanMakeSymbolicLinks()) {
    std::filesystem::create_symlink("a.vh", dir / "soft.vh");
    EXPECT_TRUE(core::IsSameFile(dir / "soft.vh", dir / "a.vh"));
  }
  EXPECT_FALSE(core::IsSameFile(dir / "a.vh", dir / "b.vh"));  // equal bytes, other file
  EXPECT_FALSE(core::IsSameFile(dir / "a.vh", dir / "missing.vh"));
  EXPECT_FALSE(core::IsSameFile(dir / "missing.vh", dir / "missing.vh"));
  EXPECT_FALSE(core::IsSameFile("", ""));
}

}  // namespace
