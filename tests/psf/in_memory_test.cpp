// The in-memory entry points beneath the file-taking ones give the same results.

#include <gtest/gtest.h>

#include "core/failure.h"
#include "psf/exe_psf.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf/ram_image.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

using psf_testing::BuiltinExe;
using psf_testing::MakePsf;
using psf_testing::PutWord;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

TEST(InMemoryConversions, MatchTheFilesTheConvertersWrite) {
  TempDir dir;
  const std::vector<std::uint8_t> exe = psf_testing::Ramp(5000, 7);
  WriteBytes(dir / "a.exe", exe);
  ASSERT_TRUE(psf::ConvertExeToPsf(dir / "a.exe"));
  const auto psfBytes = psf::PsfFromExe(exe);
  ASSERT_TRUE(psfBytes);
  EXPECT_EQ(*psfBytes, ReadBytes(dir / "a.psf"));
  EXPECT_EQ(std::string(psfBytes->end() - 20, psfBytes->end()), "[TAG]length=3:00.000");
  EXPECT_EQ(psf::ExeFromPsf(*psfBytes), exe);

  std::filesystem::remove(dir / "a.exe");
  ASSERT_TRUE(psf::ConvertPsfToExe(dir / "a.psf"));
  EXPECT_EQ(ReadBytes(dir / "a.exe"), exe);

  std::vector<std::uint8_t> broken = *psfBytes;
  broken[20] ^= 0x40;  // inside the program: the checksum no longer matches
  EXPECT_FALSE(psf::ExeFromPsf(broken));
  EXPECT_NE(core::TakeFailureReason().find("checksum"), std::string::npos);
}

TEST(LoadDriverFromPsfBytes, AgreesWithTheFileLoad) {
  TempDir dir;
  const std::vector<std::uint8_t> file = MakePsf(BuiltinExe(), "[TAG]title=x");
  WriteBytes(dir / "d.psf", file);
  psf::PsfBuilder fromFile;
  psf::PsfBuilder fromBytes;
  ASSERT_TRUE(psf::LoadDriverFromPsf(fromFile, dir / "d.psf"));
  ASSERT_TRUE(psf::LoadDriverFromPsfBytes(fromBytes, file));
  EXPECT_EQ(fromFile.image.header, fromBytes.image.header);
  EXPECT_TRUE(fromFile.image.ram == fromBytes.image.ram);
  EXPECT_EQ(fromFile.parameterCopy, fromBytes.parameterCopy);
  EXPECT_EQ(fromFile.parameterCount, fromBytes.parameterCount);

  // An undecodable PSF keeps the held driver in both.
  std::vector<std::uint8_t> bad = file;
  bad[3] = 0x02;
  EXPECT_FALSE(psf::LoadDriverFromPsfBytes(fromBytes, bad));
  EXPECT_EQ(core::TakeFailureReason(), "not a PlayStation PSF: version byte 0x02");
  EXPECT_TRUE(fromBytes.held);
}

TEST(LoadExeImage, RamOutsideTheTextIsZeroAfterAnEarlierLoad) {
  // The second load lays a short text into the image that held a full driver: nothing of the first stays.
  psf::RamImage image;
  ASSERT_TRUE(psf::LoadEmbeddedImage(image));
  std::vector<std::uint8_t> exe(2048, 0);
  PutWord(exe, 0x18, 0x80100000);
  PutWord(exe, 0x1C, 4);
  exe.insert(exe.end(), {0xA1, 0xA2, 0xA3, 0xA4});
  ASSERT_TRUE(psf::LoadExeImage(image, exe));
  ASSERT_EQ(image.ram.size(), 0x200000u);
  EXPECT_EQ(std::count(image.ram.begin(), image.ram.end(), 0), 0x200000 - 4);
  EXPECT_EQ(image.ram[0x100000], 0xA1);
  EXPECT_EQ(image.ram[0x100003], 0xA4);
}

}  // namespace

TEST(LoadExeImage, TakingTheBufferLaysTheSameImageAsCopying) {
  // Text at RAM offsets below, at and above its place in the EXE (2048), so it moves both ways.
  for (const std::uint32_t tAddr : {0x80000000u, 0x80000100u, 0x80000800u, 0x80001000u, 0x801FF000u}) {
    std::vector<std::uint8_t> exe(2048, 0xEE);  // header bytes that must not stay in RAM
    PutWord(exe, 0x18, tAddr);
    PutWord(exe, 0x1C, 0x1000);
    const auto text = psf_testing::Ramp(0x1000, 3);
    exe.insert(exe.end(), text.begin(), text.end());
    exe.insert(exe.end(), 0x300, 0xDD);  // behind t_size: not laid
    psf::RamImage copied;
    psf::RamImage taken;
    ASSERT_TRUE(psf::LoadExeImage(copied, std::span<const std::uint8_t>(exe)));
    ASSERT_TRUE(psf::LoadExeImage(taken, std::vector<std::uint8_t>(exe)));
    EXPECT_EQ(taken.header, copied.header);
    ASSERT_EQ(taken.ram.size(), 0x200000u);
    EXPECT_TRUE(taken.ram == copied.ram) << std::hex << tAddr;
    EXPECT_EQ(std::count(taken.ram.begin(), taken.ram.end(), 0), 0x200000 - 0x1000 + 0x1000 / 256);
  }
  psf::RamImage image;
  EXPECT_FALSE(psf::LoadExeImage(image, std::vector<std::uint8_t>(2047, 0)));
  EXPECT_FALSE(image.loaded);
}

TEST(DecodePsfProgram, StreamEndsDecideAsZlibDoes) {
  // Bytes behind the end of the zlib stream are ignored; a stream cut before its end is refused.
  const std::vector<std::uint8_t> program = psf_testing::Ramp(100000, 9);
  std::vector<std::uint8_t> file = MakePsf(program);
  const std::uint32_t length = psf_testing::WordAt(file, 8);
  std::vector<std::uint8_t> padded(file.begin(), file.begin() + 16 + length);
  padded.insert(padded.end(), {1, 2, 3});
  PutWord(padded, 8, length + 3);
  PutWord(padded, 12, psf_testing::Crc(padded.data() + 16, length + 3));
  EXPECT_EQ(psf::DecodePsfProgram(std::span<const std::uint8_t>(padded)), program);

  std::vector<std::uint8_t> cut(file.begin(), file.begin() + 16 + length - 5);
  PutWord(cut, 8, length - 5);
  PutWord(cut, 12, psf_testing::Crc(cut.data() + 16, length - 5));
  EXPECT_FALSE(psf::DecodePsfProgram(std::span<const std::uint8_t>(cut)));
  EXPECT_EQ(core::TakeFailureReason(), "PSF program section is not a valid zlib stream");
}

TEST(DecodePsfProgramInto, ReplacesTheBufferOrLeavesItAsItWas) {
  std::vector<std::uint8_t> buffer(300000, 0x5A);
  const std::vector<std::uint8_t> program = psf_testing::Ramp(70000, 1);
  ASSERT_TRUE(psf::DecodePsfProgramInto(MakePsf(program), buffer));
  EXPECT_EQ(buffer, program);
  ASSERT_TRUE(psf::DecodePsfProgramInto(MakePsf({}), buffer));  // a stream of no bytes
  EXPECT_TRUE(buffer.empty());

  buffer = program;
  std::vector<std::uint8_t> broken = MakePsf(psf_testing::Ramp(500, 2));
  broken[broken.size() - 3] ^= 0x10;  // inside the stream's checksum
  PutWord(broken, 12, psf_testing::Crc(broken.data() + 16, broken.size() - 16));
  EXPECT_FALSE(psf::DecodePsfProgramInto(broken, buffer));
  EXPECT_EQ(core::TakeFailureReason(), "PSF program section is not a valid zlib stream");
  EXPECT_EQ(buffer, program);
  EXPECT_FALSE(psf::DecodePsfProgramInto(MakePsf(psf_testing::Ramp(10, 0), "", 0x02), buffer));
  EXPECT_EQ(buffer, program);
}

TEST(LoadDriverFromPsfBytes, ReplacingADriverLeavesNothingOfIt) {
  // Driver A carries 64 KiB of 0xEE behind the built-in text; B is the built-in driver alone. B loaded into
  // the builder that held A (and into one a refused load emptied) is B loaded into a fresh builder.
  std::vector<std::uint8_t> exeA = BuiltinExe();
  exeA.insert(exeA.end(), 0x10000, 0xEE);
  PutWord(exeA, 0x1C, psf_testing::WordAt(exeA, 0x1C) + 0x10000);
  const std::vector<std::uint8_t> fileB = MakePsf(BuiltinExe());
  psf::PsfBuilder fresh;
  ASSERT_TRUE(psf::LoadDriverFromPsfBytes(fresh, fileB));

  psf::PsfBuilder reused;
  ASSERT_TRUE(psf::LoadDriverFromPsfBytes(reused, MakePsf(exeA)));
  ASSERT_TRUE(psf::LoadDriverFromPsfBytes(reused, fileB));
  EXPECT_EQ(reused.image.header, fresh.image.header);
  EXPECT_TRUE(reused.image.ram == fresh.image.ram);
  EXPECT_EQ(reused.parameterCopy, fresh.parameterCopy);

  std::vector<std::uint8_t> notDriver = BuiltinExe();
  notDriver.resize(2048 + 0x100);  // the text holds no signature
  PutWord(notDriver, 0x1C, 0x100);
  ASSERT_TRUE(psf::LoadDriverFromPsfBytes(reused, MakePsf(exeA)));
  EXPECT_FALSE(psf::LoadDriverFromPsfBytes(reused, MakePsf(notDriver)));
  EXPECT_FALSE(reused.held || reused.image.loaded);
  EXPECT_TRUE(reused.image.ram.empty());
  ASSERT_TRUE(psf::LoadDriverFromPsfBytes(reused, fileB));
  EXPECT_TRUE(reused.image.ram == fresh.image.ram);
}

TEST(LoadDriverFromPsfBytes, RefusesADriverWhoseWritesWouldLandOnItsOwnTables) {
  // Loading writes the parameter defaults and the mute mask, PARAM the values: on the driver-info block
  // (0x80022570) or the parameter list (0x800225BC) they would leave an OUT that no longer opens.
  const auto exeOffset = [](std::uint32_t address) { return 0x800 + (address - 0x80010000u); };
  psf::PsfBuilder builder;
  std::vector<std::uint8_t> exe = BuiltinExe();
  PutWord(exe, exeOffset(0x80022570 + 0x38), 0x800225C0);  // the parameter block on the first list entry
  EXPECT_FALSE(psf::LoadDriverFromPsfBytes(builder, MakePsf(exe)));
  EXPECT_EQ(core::TakeFailureReason(),
            "driver parameter block (0xC4 bytes at 0x800225C0) is unusable (it lies on the "
            "driver-info block or the parameter list)");
  exe = BuiltinExe();
  PutWord(exe, exeOffset(0x800225BC + 4), 0x80022570 + 0x4A);  // parameter 00's value on the block's end
  EXPECT_FALSE(psf::LoadDriverFromPsfBytes(builder, MakePsf(exe)));
  EXPECT_EQ(core::TakeFailureReason(),
            "driver parameter 00 (width 4 at 0x800225BA) is unusable (it lies on the "
            "driver-info block or the parameter list)");
  // The mute block is read before the defaults are written: one running into the parameter block is refused.
  exe = BuiltinExe();
  PutWord(exe, exeOffset(0x80022570 + 0x30), 0x80022870);  // 0x48 bytes, into the parameters at 0x800228A8
  EXPECT_FALSE(psf::LoadDriverFromPsfBytes(builder, MakePsf(exe)));
  EXPECT_EQ(core::TakeFailureReason(),
            "driver mute block (0x48 bytes at 0x80022870) overlaps its parameter block (0xC4 bytes at 0x800228A8)");
}
