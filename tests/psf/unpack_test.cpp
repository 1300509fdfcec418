// Taking a program image apart in memory: the parts cut to their real lengths, the rebuild command and its
// quoting, and the shortfalls: a PSF of another driver, song bytes the rebuild would not bring back.
#include "psf/unpack.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "psf/driver_info.h"
#include "psf/placement.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf/ram_image.h"
#include "psf/song_stems.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// One program, one tone playing sample 1 (16 bytes), sample count 1; a VH as the builder writes it.
Bytes SmallVh() {
  Bytes vh(2592 + 512, 0);
  const std::uint8_t header[] = {'p', 'B', 'A', 'V', 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0x7F};
  std::copy(std::begin(header), std::end(header), vh.begin());
  vh[32] = 1;              // program 0: one tone
  vh[2080 + 22] = 1;       // its tone 0 plays sample 1
  vh[2080 + 512 + 2] = 2;  // sample 1: 2 units of 8 bytes
  return vh;
}

const Bytes SEQ = {'p', 'Q', 'E',  'S',  0,    0,    0,    1,    0x01, 0xE0, 0x07, 0xA1, 0x20,
                   4,   2,   0x00, 0x91, 0x3C, 0x64, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

// The built-in driver with bytes at a PS address and parameters set, as a PSF program image.
class ImageBuilder {
 public:
  ImageBuilder() { EXPECT_TRUE(psf::LoadBuiltinDriver(builder_)); }
  ImageBuilder& Put(std::uint32_t address, const Bytes& bytes) {
    EXPECT_EQ(psf::WriteBytesAt(builder_.image, address, bytes), bytes.size());
    return *this;
  }
  ImageBuilder& Set(std::uint32_t index, std::uint32_t value) {
    psf::SetParameter(builder_, value, index);
    return *this;
  }
  Bytes Program() const { return psf::BuildProgramImage(builder_.image); }
  psf::PsfBuilder& builder() { return builder_; }

 private:
  psf::PsfBuilder builder_;
};

std::string Text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

TEST(ShellQuotingTest, QuotesOnlyWhatAShellWouldRead) {
  EXPECT_EQ(psf::QuoteShellWord("song.seq"), "song.seq");
  EXPECT_EQ(psf::QuoteShellWord("0x800A0000"), "0x800A0000");
  EXPECT_EQ(psf::QuoteShellWord(""), "''");
  EXPECT_EQ(psf::QuoteShellWord("Master Volume (L)"), "'Master Volume (L)'");
  EXPECT_EQ(psf::QuoteShellWord("it's"), "'it'\\''s'");
  EXPECT_EQ(psf::QuoteShellWord("$HOME*"), "'$HOME*'");
  EXPECT_EQ(psf::QuoteShellWord("~x"), "'~x'");
  EXPECT_EQ(psf::FormatShellCommand({"a", "b c", ""}), "a 'b c' ''");
}

TEST(UnpackTest, SeqSongBankAndParametersMakeTheCommand) {
  ImageBuilder image;
  Bytes seq = SEQ;
  image.Set(18, 90).Put(0x800A0000, seq).Put(0x800E0000, SmallVh()).Put(0x80160000, Bytes(16, 0x5A));
  std::string reason;
  const psf::TagList tags = {{"title", "Song"}, {"length", "3:00.000"}};
  const auto unpacked = psf::UnpackPsfProgram(image.Program(), tags, "song", reason);
  ASSERT_TRUE(unpacked) << reason;
  ASSERT_EQ(unpacked->files.size(), 4u);
  EXPECT_EQ(unpacked->files[0].name, "song.seq");
  EXPECT_EQ(unpacked->files[0].bytes, SEQ);
  EXPECT_EQ(unpacked->files[1].name, "song.vh");
  EXPECT_EQ(unpacked->files[1].bytes, SmallVh());
  EXPECT_EQ(unpacked->files[2].name, "song.vb");
  EXPECT_EQ(unpacked->files[2].bytes, Bytes(16, 0x5A));
  EXPECT_EQ(unpacked->files[3].name, "song.cmd");
  EXPECT_EQ(Text(unpacked->files[3].bytes),
            "lfqutil MAKE TAG title Song TAG length 3:00.000 PARAM 'Master Volume (L)' 90 SEQ song.seq VH song.vh VB "
            "song.vb OUT song.psf\n");
  EXPECT_EQ(unpacked->shortfalls, Strings{});
}

TEST(UnpackTest, SepIsCutAfterItsLastWholeRecordAndBytesBehindItAreAShortfall) {
  const Bytes sep = {'p', 'Q', 'E',  'S',  0,    0,  // two records of 4 bytes each
                     0,   0,   0x01, 0xE0, 0x07, 0xA1, 0x20, 4, 2, 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00,
                     0,   1,   0x01, 0xE0, 0x07, 0xA1, 0x20, 4, 2, 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00};
  Bytes region = sep;
  region.insert(region.end(), {0x00, 0x07, 0xEE});  // a record id out of order, then a stray byte
  ImageBuilder image;
  image.Put(0x800A0000, region);
  std::string reason;
  const auto unpacked = psf::UnpackPsfProgram(image.Program(), {{"length", "3:00.000"}}, "-x", reason);
  ASSERT_TRUE(unpacked) << reason;
  ASSERT_EQ(unpacked->files.size(), 2u);
  EXPECT_EQ(unpacked->files[0].name, "-x.sep");
  EXPECT_EQ(unpacked->files[0].bytes, sep);
  EXPECT_EQ(unpacked->command,
            (Strings{"lfqutil", "MAKE", "TAG", "length", "3:00.000", "SEQ", "./-x.sep", "OUT", "./-x.psf"}));
  EXPECT_EQ(unpacked->shortfalls,
            (Strings{"no VH at 0x800E0000 (nothing there): no bank taken",
                     "the rebuild's program image would differ in 2 bytes, the first at 0x800A0029 (the sequence "
                     "region)"}));
}

TEST(UnpackTest, TagsTheCommandCannotSetAndSongsItCannotFindAreShortfalls) {
  ImageBuilder image;
  image.Put(0x800A0000, {'n', 'o', 'p', 'e'});
  std::string reason;
  const psf::TagList tags = {{"_lib", "set.psflib"}, {"_custom", "1"}, {"utf8", "1"}, {"game", "G"}};
  const auto unpacked = psf::UnpackPsfProgram(image.Program(), tags, "s", reason);
  ASSERT_TRUE(unpacked) << reason;
  EXPECT_EQ(unpacked->command, (Strings{"lfqutil", "MAKE", "TAG", "game", "G", "OUT", "s.psf"}));
  EXPECT_EQ(
      unpacked->shortfalls,
      (Strings{"tag \"_custom\" not in the command: tag name \"_custom\" is reserved for players (only _refresh "
               "may be set)",
               "no SEQ, SEP or VAG at 0x800A0000: no song taken", "no VH at 0x800E0000 (nothing there): no bank taken",
               "the rebuild's program image would differ in 4 bytes, the first at 0x800A0000 (the sequence region)",
               "the rebuilt PSF gets a tag \"length=3:00.000\" this PSF does not have",
               "the rebuilt PSF lacks the tag \"_custom\""}));
}

TEST(UnpackTest, ProgramWithoutTheDriverInfoBlockIsRefused) {
  ImageBuilder image;
  image.Put(psf::DRIVER_INFO_ADDRESS, {'X'});
  std::string reason;
  EXPECT_FALSE(psf::UnpackPsfProgram(image.Program(), {}, "s", reason));
  EXPECT_EQ(reason, "no driver-info block (\"PSF_DRIVER_INFO:\" at 0x80022570): not a PSF of this driver");
  EXPECT_FALSE(psf::UnpackPsfProgram(Bytes(100, 0), {}, "s", reason));
}

TEST(SongStemsTest, ChannelsWithNotesAndSoloMutes) {
  ImageBuilder image;
  EXPECT_EQ(psf::SongChannelsWithNotes(image.builder()), 0u);
  image.Put(0x800A0000, SEQ);
  EXPECT_EQ(psf::SongChannelsWithNotes(image.builder()), 0x0002u);
  ASSERT_TRUE(psf::SoloChannel(image.builder(), 1));
  for (std::uint32_t channel = 0; channel < 16; ++channel)
    EXPECT_EQ(psf::GetParameter(image.builder(), 40 + channel), channel == 1 ? 0u : 1u);
}

}  // namespace
