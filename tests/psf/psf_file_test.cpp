// The PSF container: the bytes a build writes, the tag section, and the checks made when reading.

#include "psf/psf_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "assets/driver_image.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "psf/psf_builder.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

using psf_testing::Inflate;
using psf_testing::MakePsf;
using psf_testing::PutWord;
using psf_testing::WordAt;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr std::size_t PROGRAM_LENGTH = 2033664;  // 0x80200800 - 0x80010000

std::string Tail(const std::vector<std::uint8_t>& bytes, std::size_t count) {
  return std::string(bytes.end() - static_cast<std::ptrdiff_t>(count), bytes.end());
}

std::optional<std::vector<std::uint8_t>> DecodeFile(const std::filesystem::path& path) {
  const core::FileHandle file = core::OpenFile(path, "rb");
  return psf::DecodePsfProgram(file.get());
}

TEST(WritePsfFile, BuiltinDriverGivesTheDescribedProgramSection) {
  TempDir dir;
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  builder.tagText = "length=3:00.000";
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "out.psf"));
  const std::vector<std::uint8_t> file = ReadBytes(dir / "out.psf");

  ASSERT_GT(file.size(), 36u);
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 8),
            (std::vector<std::uint8_t>{0x50, 0x53, 0x46, 0x01, 0x00, 0x00, 0x00, 0x00}));  // "PSF", 1, no reserved
  const std::uint32_t length = WordAt(file, 8);
  EXPECT_EQ(file.size(), 16u + length + 20u);
  EXPECT_EQ(WordAt(file, 12), psf_testing::Crc(file.data() + 16, length));
  EXPECT_EQ(file[16], 0x78);  // zlib header: deflate, 32 KiB window
  EXPECT_EQ(file[17], 0xDA);  // best compression
  EXPECT_EQ(Tail(file, 20), "[TAG]length=3:00.000");

  const auto program = Inflate(file, 4 * 1024 * 1024);
  ASSERT_TRUE(program);
  ASSERT_EQ(program->size(), PROGRAM_LENGTH);
  const std::vector<std::uint8_t> header = {
      'P',  'S',  '-',  'X',  ' ',  'E',  'X',  'E',   // 0x00 magic
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x08 text, data offsets
      0xBC, 0x02, 0x02, 0x80,                          // 0x10 pc0
      0x00, 0x00, 0x00, 0x00,                          // 0x14 gp0
      0x00, 0x00, 0x01, 0x80,                          // 0x18 t_addr
      0xF0, 0xFF, 0x1E, 0x00,                          // 0x1C t_size 0x001EFFF0
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x20 d_addr, d_size
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x28 b_addr, b_size
      0xF0, 0xFF, 0x1F, 0x80,                          // 0x30 s_addr
      0xF0, 0xFF, 0x1F, 0x80,                          // 0x34 0x801FFFF0
  };
  EXPECT_EQ(std::vector<std::uint8_t>(program->begin(), program->begin() + 0x38), header);
  EXPECT_EQ(WordAt(*program, 0x1C), 0x001EFFF0u);
  EXPECT_EQ(WordAt(*program, 0x34), 0x801FFFF0u);
  // 56 bytes of marker text kept (0x4C-0x83), zero from 132 to 2047.
  EXPECT_EQ(std::string(program->begin() + 0x4C, program->begin() + 0x4C + 47),
            "Sony Computer Entertainment Inc. for Japan area");
  for (std::size_t i = 132; i < 2048; ++i) ASSERT_EQ((*program)[i], 0) << i;

  // RAM from 0x80010000: the driver's text with the defaults in its ParameterBlock, then zeros.
  const auto text = assets::BuiltinDriverText();
  EXPECT_TRUE(std::equal(text.begin(), text.begin() + 0x12860, program->begin() + 2048));
  EXPECT_EQ(WordAt(*program, 2048 + 0x128A8), 0x800A0000u);  // sequence address
  EXPECT_EQ(WordAt(*program, 2048 + 0x128C0), 1u);           // playback type
  EXPECT_EQ((*program)[2048 + 0x12914], 127);                // master volume (L)
  for (std::size_t i = 2048 + 0x1296C; i < program->size(); ++i) ASSERT_EQ((*program)[i], 0) << i;
}

// The program section zlib's compress2 makes at level 9 from the bytes, as the reference.
std::vector<std::uint8_t> Compress2(const std::vector<std::uint8_t>& bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes.size()));
  std::vector<std::uint8_t> out(length);
  EXPECT_EQ(compress2(out.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()), 9), Z_OK);
  out.resize(length);
  return out;
}

std::vector<std::uint8_t> Section(const std::vector<std::uint8_t>& psfFile) {
  return std::vector<std::uint8_t>(psfFile.begin() + 16, psfFile.begin() + 16 + WordAt(psfFile, 8));
}

TEST(WritePsfFile, ProgramSectionIsWhatCompress2MakesOfTheProgramImage) {
  TempDir dir;
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "plain.psf"));
  EXPECT_EQ(Section(ReadBytes(dir / "plain.psf")), Compress2(psf::BuildProgramImage(builder.image)));

  // Song-like data: runs, noise and repeats across the whole image, so many blocks and long matches.
  std::mt19937 random(99);
  for (std::size_t at = 0x30000; at < builder.image.ram.size(); at += 0x8000) {
    const std::size_t kind = random() % 3;
    for (std::size_t i = at; i < at + 0x8000; ++i) {
      builder.image.ram[i] = kind == 0   ? static_cast<std::uint8_t>(random())
                             : kind == 1 ? static_cast<std::uint8_t>(i / 64)
                                         : builder.image.ram[i - 0x1234];
    }
  }
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "song.psf"));
  EXPECT_EQ(Section(ReadBytes(dir / "song.psf")), Compress2(psf::BuildProgramImage(builder.image)));
}

TEST(EncodePsfProgram, MatchesCompress2ForAnyInput) {
  std::mt19937 random(5);
  std::vector<std::uint8_t> noise(300000);
  for (std::uint8_t& byte : noise) byte = static_cast<std::uint8_t>(random() % 7);
  for (const auto& input : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{42}, noise}) {
    const auto file = psf::EncodePsfProgram(input, 0x1E0800);
    ASSERT_TRUE(file);
    EXPECT_EQ(Section(*file), Compress2(input));
  }
  // A limit the stream just fits, and one byte less.
  const std::size_t exact = Compress2(noise).size();
  EXPECT_TRUE(psf::EncodePsfProgram(noise, exact));
  EXPECT_FALSE(psf::EncodePsfProgram(noise, exact - 1));
}

TEST(WritePsfFile, WritesTheTagTextUnchangedAndConsumesIt) {
  TempDir dir;
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  builder.tagText = "title=100% pure\r\nartist=%s %d";
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "a.psf"));
  EXPECT_EQ(Tail(ReadBytes(dir / "a.psf"), 34), "[TAG]title=100% pure\r\nartist=%s %d");
  EXPECT_FALSE(builder.tagText.has_value());

  // Without tag text the section is the tag header alone.
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "b.psf"));
  const auto second = ReadBytes(dir / "b.psf");
  EXPECT_EQ(second.size(), 16u + WordAt(second, 8) + 5u);
  EXPECT_EQ(Tail(second, 5), "[TAG]");
}

TEST(WritePsfFile, FailsWithoutDriverOrOutputAndLeavesFilesAlone) {
  TempDir dir;
  psf::PsfBuilder builder;
  builder.tagText = "length=3:00.000";
  WriteBytes(dir / "old.psf", {1, 2, 3});
  EXPECT_FALSE(psf::WritePsfFile(builder, dir / "old.psf"));
  EXPECT_EQ(core::TakeFailureReason(), "no driver loaded");
  EXPECT_EQ(ReadBytes(dir / "old.psf"), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(builder.tagText, "length=3:00.000");  // kept for the next write

  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_FALSE(psf::WritePsfFile(builder, dir / "no-such-dir" / "x.psf"));
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"old.psf"});
}

TEST(WritePsfFile, CompressedProgramAboveTwoMegabytesIsRefused) {
  TempDir dir;
  // An image whose text starts at 0x80000000 makes a program image of 2 MiB + 2048 bytes. OPEN refuses such
  // a driver, so the loaded header is moved there by hand.
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  builder.image.header[0x1A] = 0x00;  // t_addr 0x80010000 becomes 0x80000000
  // Fill RAM with bytes that do not compress.
  std::uint32_t state = 12345;
  for (std::uint8_t& byte : builder.image.ram) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  EXPECT_FALSE(psf::WritePsfFile(builder, dir / "big.psf"));
  EXPECT_NE(core::TakeFailureReason().find("exceeds"), std::string::npos);
  EXPECT_TRUE(dir.Listing().empty());
}

TEST(BuildProgramImage, IsEmptyForAnImageThatIsNotLoaded) {
  const psf::RamImage image;
  EXPECT_TRUE(psf::BuildProgramImage(image).empty());
}

TEST(DecodePsfProgram, ReadsAnyLettersWithVersionOneAndIgnoresTags) {
  TempDir dir;
  const std::vector<std::uint8_t> program = psf_testing::Ramp(3000, 7);
  std::vector<std::uint8_t> file = MakePsf(program, "[TAG]length=1:00\n_lib=x.psf");
  file[0] = 'Z';
  file[1] = 'Q';
  file[2] = 'X';
  WriteBytes(dir / "odd.psf", file);
  EXPECT_EQ(DecodeFile(dir / "odd.psf"), program);
  EXPECT_EQ(psf::DecodePsfProgram(std::span<const std::uint8_t>(file)), program);
}

TEST(DecodePsfProgram, RefusesVersionReservedAreaChecksumAndShortFiles) {
  const std::vector<std::uint8_t> program = psf_testing::Ramp(100, 1);
  const auto decode = [](const std::vector<std::uint8_t>& file) {
    return psf::DecodePsfProgram(std::span<const std::uint8_t>(file)).has_value();
  };
  EXPECT_TRUE(decode(MakePsf(program)));
  EXPECT_FALSE(decode(MakePsf(program, "", 0x02)));     // PSF2
  EXPECT_FALSE(decode(MakePsf(program, "", 0x01, 4)));  // reserved area
  std::vector<std::uint8_t> file = MakePsf(program);
  file[15] ^= 0x80;  // CRC
  EXPECT_FALSE(decode(file));
  EXPECT_NE(core::TakeFailureReason().find("checksum"), std::string::npos);
  file = MakePsf(program);
  PutWord(file, 8, WordAt(file, 8) + 1);  // program section one byte past the end
  EXPECT_FALSE(decode(file));
  EXPECT_FALSE(decode({}));
  EXPECT_FALSE(decode({'P', 'S', 'F', 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));  // 15 bytes
  // A 16-byte file with an empty program section fails in zlib, not before.
  EXPECT_FALSE(decode({'P', 'S', 'F', 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DecodePsfProgram, AcceptsUpToTheDecodedLimitAndNoMore) {
  EXPECT_EQ(psf::DecodePsfProgram(MakePsf(std::vector<std::uint8_t>(PROGRAM_LENGTH, 0x5A)))->size(), PROGRAM_LENGTH);
  EXPECT_FALSE(psf::DecodePsfProgram(MakePsf(std::vector<std::uint8_t>(PROGRAM_LENGTH + 1, 0x5A))));
  EXPECT_NE(core::TakeFailureReason().find("2033664"), std::string::npos);
}

TEST(DecodePsfProgram, NullStreamFails) { EXPECT_FALSE(psf::DecodePsfProgram(static_cast<std::FILE*>(nullptr))); }

}  // namespace
