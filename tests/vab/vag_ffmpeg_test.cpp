// End to end: the VAG files of a bank are decoded by ffmpeg, which must find every sample at its rate.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "bank_bytes.h"
#include "support/temp_dir.h"
#include "support/test_system.h"
#include "vab/vag_extract.h"

namespace {

using namespace vab_testing;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr const char* FFMPEG = "/usr/bin/ffmpeg";

// ADPCM blocks with shift 0 and filter 0: each nibble decodes to nibble x 4096, low nibble first.
Bytes SquareWave(unsigned blocks, std::uint8_t nibbles) {
  Bytes data;
  for (unsigned b = 0; b < blocks; ++b) {
    data.push_back(0x00);  // shift 0, filter 0
    data.push_back(0x00);  // no flags
    for (int i = 0; i < 14; ++i) data.push_back(nibbles);
  }
  return data;
}

struct Wav {
  unsigned rate = 0;
  unsigned channels = 0;
  std::vector<std::int16_t> samples;
};

unsigned U32Le(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24; }

// The format and data chunks of a 16-bit PCM WAV file.
Wav ReadWav(const std::filesystem::path& path) {
  const Bytes bytes = ReadBytes(path);
  Wav wav;
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4);
    const std::size_t size = U32Le(bytes, at + 4);
    const std::size_t body = at + 8;
    if (id == "fmt " && body + 8 <= bytes.size()) {
      wav.channels = bytes[body + 2] | bytes[body + 3] << 8;
      wav.rate = U32Le(bytes, body + 4);
    }
    if (id == "data") {
      for (std::size_t i = body; i + 1 < bytes.size() && i + 1 < body + size; i += 2) {
        wav.samples.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8));
      }
    }
    at = body + size + (size & 1);
  }
  return wav;
}

int Decode(const std::filesystem::path& vag, const std::filesystem::path& wav) {
  const std::string command = std::string(FFMPEG) + " -nostdin -v error -y -f vag -i '" + vag.string() +
                              "' -c:a pcm_s16le '" + wav.string() + "' 2>/dev/null";
  return std::system(command.c_str());
}

TEST(VagWithFfmpeg, EveryExtractedSampleDecodesAtItsRate) {
  if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "needs ffmpeg, a Linux program";
  ASSERT_TRUE(std::filesystem::exists(FFMPEG)) << "ffmpeg is needed for this test";
  TempDir dir;
  Bytes vh = MakeVh(2, 2, 4);
  SetTone(vh, 0, 0, 0, 1);    // sample 0: 44100 Hz
  SetTone(vh, 1, 2, 64, 2);   // sample 1: 45391 Hz
  SetTone(vh, 0, 3, 252, 4);  // sample 3: 46640 Hz
  SetSize(vh, 2, 0, 2 * 3);   // 3 blocks
  SetSize(vh, 2, 1, 2 * 10);  // 10 blocks
  SetSize(vh, 2, 2, 0);       // empty: no rate, ffmpeg refuses it
  SetSize(vh, 2, 3, 2 * 1);   // 1 block
  const Bytes vb = Concat({SquareWave(3, 0x17), SquareWave(10, 0x2E), SquareWave(1, 0x53)});
  WriteBytes(dir / "song.vab", Concat({vh, vb}));
  vab::VabBank bank;
  vab::ExtractAllVags(bank, dir / "song.vab");

  struct Sample {
    const char* name;
    unsigned rate;
    unsigned blocks;
    std::int16_t first;
    std::int16_t second;
  };
  // 0x17 decodes to 7 x 4096 then 1 x 4096; 0x2E to -2 x 4096 then 2 x 4096; 0x53 to 3 x 4096, 5 x 4096.
  const Sample samples[] = {
      {"song00", 44100, 3, 28672, 4096},
      {"song01", 45391, 10, -8192, 8192},
      {"song03", 46640, 1, 12288, 20480},
  };
  for (const Sample& s : samples) {
    const auto vag = dir / (std::string(s.name) + ".vag");
    const auto wav = dir / (std::string(s.name) + ".wav");
    ASSERT_EQ(Decode(vag, wav), 0) << s.name;
    const Wav decoded = ReadWav(wav);
    EXPECT_EQ(decoded.rate, s.rate) << s.name;
    EXPECT_EQ(decoded.channels, 1U) << s.name;
    // The reader starts 16 bytes early (28 silent samples), then 28 samples per block and 28 for the end
    // block.
    ASSERT_EQ(decoded.samples.size(), 28U * (1 + s.blocks + 1)) << s.name;
    for (std::size_t i = 0; i < 28; ++i) EXPECT_EQ(decoded.samples[i], 0) << s.name << " " << i;
    for (std::size_t i = 28; i < 28 * (1 + s.blocks); i += 2) {
      EXPECT_NEAR(decoded.samples[i], s.first, 8) << s.name << " " << i;
      EXPECT_NEAR(decoded.samples[i + 1], s.second, 8) << s.name << " " << i;
    }
    for (std::size_t i = 28 * (1 + s.blocks); i < decoded.samples.size(); ++i) {
      EXPECT_EQ(decoded.samples[i], 0) << s.name << " " << i;
    }
  }
  EXPECT_NE(Decode(dir / "song02.vag", dir / "song02.wav"), 0) << "a sample rate of 0 cannot be played";
}

}  // namespace
