// EXE to PSF and back, and hostile PSFs given to the two readers.

#include "psf/exe_psf.h"

#include <gtest/gtest.h>

#include <random>

#include "assets/driver_image.h"
#include "core/failure.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

using psf_testing::BuiltinExe;
using psf_testing::Inflate;
using psf_testing::MakePsf;
using psf_testing::WordAt;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

TEST(ConvertExeToPsf, RoundTripGivesTheSameBytes) {
  TempDir dir;
  const std::vector<std::uint8_t> exe = BuiltinExe();
  WriteBytes(dir / "song.exe", exe);
  ASSERT_TRUE(psf::ConvertExeToPsf(dir / "song.exe"));
  const auto file = ReadBytes(dir / "song.psf");
  ASSERT_GT(file.size(), 36u);
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 8),
            (std::vector<std::uint8_t>{'P', 'S', 'F', 0x01, 0, 0, 0, 0}));
  EXPECT_EQ(file.size(), 16u + WordAt(file, 8) + 20u);
  EXPECT_EQ(WordAt(file, 12), psf_testing::Crc(file.data() + 16, WordAt(file, 8)));
  EXPECT_EQ(std::string(file.end() - 20, file.end()), "[TAG]length=3:00.000");
  EXPECT_EQ(Inflate(file, 0x200000), exe);  // stored unchanged: t_size not adjusted

  std::filesystem::remove(dir / "song.exe");
  ASSERT_TRUE(psf::ConvertPsfToExe(dir / "song.psf"));
  EXPECT_EQ(ReadBytes(dir / "song.exe"), exe);
}

TEST(ConvertExeToPsf, WrapsAnyFileAndLeavesTheBuilderAlone) {
  TempDir dir;
  const std::string text = "not a PlayStation program\n";
  WriteBytes(dir / "notes.txt", std::vector<std::uint8_t>(text.begin(), text.end()));
  psf::PsfBuilder builder;
  builder.tagText = "title=next save";
  ASSERT_TRUE(psf::ConvertExeToPsf(dir / "notes.txt"));
  EXPECT_EQ(builder.tagText, "title=next save");
  const auto program = Inflate(ReadBytes(dir / "notes.psf"), 1000);
  ASSERT_TRUE(program);
  EXPECT_EQ(std::string(program->begin(), program->end()), text);
}

TEST(ConvertExeToPsf, InputThatDoesNotCompressSmallEnoughWritesNothing) {
  TempDir dir;
  std::vector<std::uint8_t> noise(0x1E0800);  // incompressible: its zlib form is larger than itself
  std::mt19937 random(7);
  for (std::uint8_t& byte : noise) byte = static_cast<std::uint8_t>(random());
  WriteBytes(dir / "noise.exe", noise);
  WriteBytes(dir / "noise.psf", {9, 9});
  EXPECT_FALSE(psf::ConvertExeToPsf(dir / "noise.exe"));
  EXPECT_NE(core::TakeFailureReason().find("1968128"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir / "noise.psf"), (std::vector<std::uint8_t>{9, 9}));
  EXPECT_FALSE(psf::ConvertExeToPsf(dir / "missing.exe"));
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"noise.exe", "noise.psf"}));
}

TEST(ConvertExeToPsf, DirectoriesAreNotInputs) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder.exe");
  std::filesystem::create_directory(dir / "folder.psf");
  EXPECT_FALSE(psf::ConvertExeToPsf(dir / "folder.exe"));
  EXPECT_EQ(core::TakeFailureReason(), "cannot open: Is a directory");
  EXPECT_FALSE(psf::ConvertPsfToExe(dir / "folder.psf"));
  psf::PsfBuilder builder;
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "folder.psf"));
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"folder.exe", "folder.psf"}));
}

TEST(ConvertPsfToExe, IgnoresTagsAndRefusesABadChecksum) {
  TempDir dir;
  const auto program = psf_testing::Ramp(5000, 0);
  WriteBytes(dir / "plain.psf", MakePsf(program));
  WriteBytes(dir / "tagged.psf", MakePsf(program, "[TAG]title=x\nlength=0:05"));
  ASSERT_TRUE(psf::ConvertPsfToExe(dir / "plain.psf"));
  ASSERT_TRUE(psf::ConvertPsfToExe(dir / "tagged.psf"));
  EXPECT_EQ(ReadBytes(dir / "plain.exe"), program);
  EXPECT_EQ(ReadBytes(dir / "tagged.exe"), program);

  auto broken = MakePsf(program);
  broken[12] ^= 0xFF;
  WriteBytes(dir / "broken.psf", broken);
  EXPECT_FALSE(psf::ConvertPsfToExe(dir / "broken.psf"));
  EXPECT_FALSE(std::filesystem::exists(dir / "broken.exe"));
  EXPECT_FALSE(psf::ConvertPsfToExe(dir / "missing.psf"));
}

// Every file in dir other than the inputs named.
std::vector<std::string> Outputs(const TempDir& dir, const std::vector<std::string>& inputs) {
  std::vector<std::string> names;
  for (const std::string& name : dir.Listing()) {
    if (std::find(inputs.begin(), inputs.end(), name) == inputs.end()) names.push_back(name);
  }
  return names;
}

// A small builder PSF of the built-in driver, with its tag section.
std::vector<std::uint8_t> SmallBuilderPsf(const TempDir& dir) {
  psf::PsfBuilder builder;
  EXPECT_TRUE(psf::LoadBuiltinDriver(builder));
  builder.tagText = "length=0:05";
  EXPECT_TRUE(psf::WritePsfFile(builder, dir / "source.psf"));
  return ReadBytes(dir / "source.psf");
}

// Hands one corrupted file to both readers. A failure writes nothing; the builder keeps its held driver
// when decoding fails and is either holding a driver or empty otherwise.
void CheckCorrupted(const TempDir& dir, const std::vector<std::uint8_t>& bytes) {
  WriteBytes(dir / "bad.psf", bytes);
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  const bool decodable = psf::DecodePsfProgram(std::span<const std::uint8_t>(bytes)).has_value();
  const bool loaded = psf::LoadDriverFromPsf(builder, dir / "bad.psf");
  if (!decodable) {
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(builder.held);
  }
  EXPECT_EQ(builder.held, builder.image.loaded);
  if (builder.held) {
    EXPECT_EQ(builder.image.ram.size(), 0x200000u);
  }
  const bool converted = psf::ConvertPsfToExe(dir / "bad.psf");
  EXPECT_EQ(converted, decodable);
  EXPECT_EQ(Outputs(dir, {"source.psf", "bad.psf"}),
            converted ? std::vector<std::string>{"bad.exe"} : std::vector<std::string>{});
  std::filesystem::remove(dir / "bad.exe");
}

TEST(CorruptedPsf, EveryTruncationFailsCleanly) {
  TempDir dir;
  const auto file = SmallBuilderPsf(dir);
  const std::size_t programEnd = 16 + WordAt(file, 8);
  ASSERT_LT(file.size(), 64u * 1024);
  WriteBytes(dir / "bad.psf", file);
  for (std::size_t length = file.size(); length-- > 0;) {  // shortened step by step from the end
    std::filesystem::resize_file(dir / "bad.psf", length);
    EXPECT_FALSE(psf::ConvertPsfToExe(dir / "bad.psf") && length < programEnd) << length;
    EXPECT_EQ(std::filesystem::exists(dir / "bad.exe"), length >= programEnd) << length;
    std::filesystem::remove(dir / "bad.exe");
    psf::PsfBuilder builder;
    EXPECT_EQ(psf::LoadDriverFromPsf(builder, dir / "bad.psf"), length >= programEnd) << length;
  }
}

TEST(CorruptedPsf, RandomByteFlipsNeverCrashOrWriteOnFailure) {
  TempDir dir;
  const auto file = SmallBuilderPsf(dir);
  std::mt19937 random(20240611);
  for (int round = 0; round < 150; ++round) {
    std::vector<std::uint8_t> bytes = file;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
    // Every other round mends the CRC, so the corruption reaches the zlib stream and the program loader.
    if (round % 2 == 1 && WordAt(bytes, 8) <= bytes.size() - 16) {
      psf_testing::PutWord(bytes, 12, psf_testing::Crc(bytes.data() + 16, WordAt(bytes, 8)));
    }
    SCOPED_TRACE(round);
    CheckCorrupted(dir, bytes);
  }
}

TEST(CorruptedPsf, HostileProgramsInAValidContainer) {
  TempDir dir;
  SmallBuilderPsf(dir);
  std::vector<std::uint8_t> exe = BuiltinExe();
  psf_testing::PutWord(exe, 0x1C, 0xFFFFFFF0);  // t_size wrapping around
  CheckCorrupted(dir, MakePsf(exe));
  exe = BuiltinExe();
  psf_testing::PutWord(exe, 0x18, 0xFFFFFFFC);  // t_addr at the top of the address space
  CheckCorrupted(dir, MakePsf(exe));
  CheckCorrupted(dir, MakePsf({}));                                 // empty program
  CheckCorrupted(dir, MakePsf(std::vector<std::uint8_t>(100, 0)));  // header shorter than 2048 bytes
}

}  // namespace
