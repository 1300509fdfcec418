// Every MIDI file written here is read by a program nobody here wrote (python3-mido) and by a strict
// structural check of our own.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "midi_structure.h"
#include "seq/sep_split.h"
#include "seq/seq_to_midi.h"
#include "seq_test_files.h"
#include "support/temp_dir.h"
#include "support/test_system.h"

namespace {

using seq_testing::Bytes;
using seq_testing::Cat;
using seq_testing::CheckMidiStructure;
using seq_testing::SepRecord;
using seq_testing::SepStart;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

// What the shell command wrote on standard output and standard error.
std::string Capture(const std::string& command) {
  struct PipeCloser {
    void operator()(std::FILE* pipe) const { ::pclose(pipe); }
  };
  std::unique_ptr<std::FILE, PipeCloser> pipe(::popen((command + " 2>&1").c_str(), "r"));
  std::string output;
  if (!pipe) return "cannot run " + command;
  char buffer[4096];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get())) output.append(buffer, got);
  return output;
}

// The summary lines mido_summary.py prints for the files, with its error output.
std::string ReadWithMido(const std::vector<std::filesystem::path>& files) {
  std::string command = "/usr/bin/python3 ";
  command += Quote(LFQ_SOURCE_DIR "/tests/seq/mido_summary.py");
  for (const auto& file : files) {
    command += ' ';
    command += Quote(file.string());
  }
  return Capture(command);
}

// Seconds of sound in a 16-bit PCM WAV file, from its format and data chunks; -1 when it is none.
double WavSeconds(const Bytes& wav) {
  auto u32 = [&](std::size_t at) {
    return std::uint32_t{wav[at]} | (std::uint32_t{wav[at + 1]} << 8) | (std::uint32_t{wav[at + 2]} << 16) |
           (std::uint32_t{wav[at + 3]} << 24);
  };
  std::uint32_t bytesPerSecond = 0;
  for (std::size_t at = 12; at + 8 <= wav.size(); at += 8 + u32(at + 4) + (u32(at + 4) & 1)) {
    const std::string id(wav.begin() + static_cast<std::ptrdiff_t>(at),
                         wav.begin() + static_cast<std::ptrdiff_t>(at) + 4);
    if (id == "fmt " && at + 20 <= wav.size()) bytesPerSecond = u32(at + 16);
    if (id == "data" && bytesPerSecond != 0) return static_cast<double>(u32(at + 4)) / bytesPerSecond;
  }
  return -1;
}

const Bytes HEADER_480{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02};

TEST(MidiClientTest, MidoAndTheStrictCheckReadEveryMidiWeWrite) {
  if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "needs python3-mido, a Linux program";
  TempDir dir;
  // The header and the end of track alone.
  WriteBytes(dir / "minimal.seq", Cat({HEADER_480, {0x00, 0xFF, 0x2F, 0x00}}));
  // Channel events of every length, running status, a two-byte delta time and a tempo change.
  WriteBytes(dir / "song.seq", Cat({HEADER_480,
                                    {
                                        0x00, 0xC0, 0x05,                    // program 5
                                        0x00, 0xB0, 0x07, 0x64,              // volume 100
                                        0x00, 0x90, 0x3C, 0x64,              // C4 on
                                        0x00, 0x40, 0x64,                    // E4 on (running status)
                                        0x83, 0x60, 0x3C, 0x00,              // 480 ticks, C4 off
                                        0x00, 0x40, 0x00,                    // E4 off
                                        0x00, 0xFF, 0x51, 0x0F, 0x42, 0x40,  // tempo 1000000
                                        0x00, 0xE0, 0x00, 0x40,              // pitch bend centre
                                        0x81, 0x00, 0x90, 0x43, 0x50,        // 128 ticks, G4 on
                                        0x60, 0x80, 0x43, 0x40,              // 96 ticks, G4 off
                                        0x00, 0xFF, 0x2F, 0x00,              // end of track
                                    }}));
  // 6/8 at 96 ticks and one second per quarter note, with bytes after the end of track.
  WriteBytes(dir / "waltz.seq",
             {'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x00, 0x60, 0x0F, 0x42, 0x40, 0x06, 0x03,  // header
              0x00, 0x91, 0x30, 0x50, 0x60, 0x30, 0x00, 0x00, 0xFF, 0x2F, 0x00,                          // events
              0x00, 0x91, 0x30, 0x50});                                                                  // after
  // 2000 notes under running status: 16 + 1999 * 32 ticks.
  Bytes notes{0x00, 0x90, 0x3C, 0x40, 0x10, 0x3C, 0x00};
  for (int i = 1; i < 2000; ++i) notes = Cat({notes, {0x10, 0x3C, 0x40, 0x10, 0x3C, 0x00}});
  WriteBytes(dir / "long.seq",
             Cat({{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01, 0x01, 0x80, 0x07, 0xA1, 0x20, 0x03, 0x02},
                  notes,
                  {0x00, 0xFF, 0x2F, 0x00}}));
  // Two sequences of a SEP, split and then converted.
  WriteBytes(dir / "pair.sep",
             Cat({SepStart(),
                  SepRecord(0, {0x00, 0x30, 0x09, 0x27, 0xC0, 0x02, 0x01},
                            {0x00, 0x99, 0x24, 0x7F, 0x18, 0x24, 0x00, 0x00, 0xFF, 0x2F, 0x00}),
                  SepRecord(1, {0x00, 0x30, 0x09, 0x27, 0xC0, 0x02, 0x01}, {0x00, 0xFF, 0x2F, 0x00})}));
  std::int32_t count = 0;
  ASSERT_TRUE(seq::ConvertSepToSeq(dir / "pair.sep", count));

  WriteBytes(dir / "tempo.seq", seq_testing::TEMPO_SEQ);
  std::filesystem::copy_file(LFQ_SOURCE_DIR "/assets/demo/demo.seq", dir / "demo.seq");

  const std::vector<std::string> names{"minimal", "song", "waltz", "long", "pair00", "pair01", "tempo", "demo"};
  std::vector<std::filesystem::path> midis;
  for (const std::string& name : names) {
    ASSERT_EQ(seq::ConvertSeqToMidi(dir / (name + ".seq")), 1) << name;
    midis.push_back(dir / (name + ".mid"));
    EXPECT_EQ(CheckMidiStructure(ReadBytes(midis.back())), "") << name;
  }
  EXPECT_EQ(ReadWithMido(midis),
            "type=0 tracks=1 tpb=480 tempo=500000 time=4/4,24,8 sysex=7E,7F,09,01 notes=0 last=end_of_track ticks=0\n"
            "type=0 tracks=1 tpb=480 tempo=500000 time=4/4,24,8 sysex=7E,7F,09,01 tempo=1000000 notes=3 "
            "last=end_of_track ticks=704\n"
            "type=0 tracks=1 tpb=96 tempo=1000000 time=6/8,24,8 sysex=7E,7F,09,01 notes=1 last=end_of_track "
            "ticks=96\n"
            "type=0 tracks=1 tpb=384 tempo=500000 time=3/4,24,8 sysex=7E,7F,09,01 notes=2000 last=end_of_track "
            "ticks=63984\n"
            "type=0 tracks=1 tpb=48 tempo=600000 time=2/2,24,8 sysex=7E,7F,09,01 notes=1 last=end_of_track ticks=24\n"
            "type=0 tracks=1 tpb=48 tempo=600000 time=2/2,24,8 sysex=7E,7F,09,01 notes=0 last=end_of_track ticks=0\n"
            "type=0 tracks=1 tpb=480 tempo=500000 time=4/4,24,8 sysex=7E,7F,09,01 tempo=600000 tempo=500000 notes=2 "
            "last=end_of_track ticks=672\n"
            // The demo: 120, 100 and 80 beats a minute; 317 notes over 13 bars of 4 quarters, 480 ticks each.
            "type=0 tracks=1 tpb=480 tempo=500000 time=4/4,24,8 sysex=7E,7F,09,01 tempo=600000 tempo=750000 "
            "notes=317 last=end_of_track ticks=24960\n");
}

// The MIDI renderers play the demo's MIDI for as long as the demo lasts: its tempo changes are read.
TEST(MidiClientTest, TimidityAndFluidsynthPlayTheDemoForItsOwnLength) {
  if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "needs timidity, fluidsynth and python3, Linux programs";
  TempDir dir;
  std::filesystem::copy_file(LFQ_SOURCE_DIR "/assets/demo/demo.seq", dir / "demo.seq");
  ASSERT_EQ(seq::ConvertSeqToMidi(dir / "demo.seq"), 1);
  WriteBytes(dir / "tempo.seq", seq_testing::TEMPO_SEQ);
  ASSERT_EQ(seq::ConvertSeqToMidi(dir / "tempo.seq"), 1);

  // As written: 19200 ticks at 500000 us a quarter, 3840 at 600000 and 1920 at 750000 (480 a quarter),
  // 20 + 4.8 + 3 seconds; read from the SEQ's own bytes by a reader of its own.
  const std::string seconds = Capture("/usr/bin/python3 " + Quote(LFQ_SOURCE_DIR "/tests/seq/seq_seconds.py") + " " +
                                      Quote((dir / "demo.seq").string()) + " " + Quote((dir / "tempo.seq").string()));
  ASSERT_EQ(seconds, "27.800\n0.700\n");

  // timidity renders up to the end of track and then two seconds more for the last notes to decay.
  constexpr double TIMIDITY_DECAY_SECONDS = 2.0;
  const std::string timidity = Capture("timidity -Ow -s 44100 --preserve-silence -o " +
                                       Quote((dir / "demo.wav").string()) + " " + Quote((dir / "demo.mid").string()));
  EXPECT_EQ(timidity.find("rror"), std::string::npos) << timidity;
  EXPECT_NEAR(WavSeconds(ReadBytes(dir / "demo.wav")) - TIMIDITY_DECAY_SECONDS, std::stod(seconds), 1.0) << timidity;

  // fluidsynth reports a tempo event of the wrong length ("Invalid length for SetTempo"): nothing to say here.
  const std::string fluidsynth = Capture("fluidsynth -ni -q -r 22050 -T raw -F " + Quote((dir / "out.raw").string()) +
                                         " /usr/share/sounds/sf2/FluidR3_GM.sf2 " + Quote((dir / "demo.mid").string()) +
                                         " " + Quote((dir / "tempo.mid").string()));
  EXPECT_EQ(fluidsynth, "");
}

TEST(MidiClientTest, StrictCheckCatchesWhatMidoForgives) {
  // The check must not pass broken files: a track without end of track, a length that misses the end.
  const Bytes good{'M', 'T', 'h', 'd',  0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x60, 'M',
                   'T', 'r', 'k', 0x00, 0x00, 0x00, 0x08, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(CheckMidiStructure(good), "");
  Bytes noEnd = good;
  noEnd.resize(26);
  noEnd[21] = 0x04;
  EXPECT_EQ(CheckMidiStructure(noEnd), "no end of track");
  Bytes longer = good;
  longer[21] = 0x09;
  EXPECT_EQ(CheckMidiStructure(longer), "track length does not reach exactly to the end of the file");
  Bytes badData = good;
  badData[24] = 0xBC;
  EXPECT_NE(CheckMidiStructure(badData), "");
  // A tempo event written as it stands in a SEQ, FF 51 t1 t2 t3: mido reads t1 as its length.
  Bytes seqTempo(good.begin(), good.begin() + 22);
  seqTempo = Cat({seqTempo, {0x00, 0xFF, 0x51, 0x07, 0xA1, 0x20, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}});
  seqTempo[21] = 14;
  EXPECT_EQ(CheckMidiStructure(seqTempo), "meta 81 of length 7");
  Bytes openSysex = seqTempo;
  openSysex[23] = 0xF0, openSysex[24] = 0x03;  // F0 03 07 A1 20: no F7 at its end
  EXPECT_EQ(CheckMidiStructure(openSysex), "system exclusive without its F7");
}

}  // namespace
