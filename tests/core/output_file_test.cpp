#include "core/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/failure.h"
#include "core/file_io.h"
#include "support/temp_dir.h"

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

  struct stat info {};
  ASSERT_EQ(::stat((dir / "song.psf").c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRGRP, 0U) << "outputs get ordinary permissions, not the temporary file's";
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
