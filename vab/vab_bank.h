#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vab/pitch_table.h"

namespace vab {

// VH layout (all numbers little-endian):
//   0     32                 header: counts at 0x12 (programs), 0x14 (tones), 0x16 (samples); the rest carried
//   32    2048               program table: always 128 records of 16 bytes
//   2080  512 x programCount tone blocks: 16 tone records of 32 bytes per program
//   T     512                sample size table: 256 x u16 in 8-byte units; entry i + 1 sizes sample i
// The VB is the samples' bytes back to back in index order, no header; a VAB is a VH followed by its VB.
inline constexpr std::size_t VH_HEADER_SIZE = 32;
inline constexpr std::size_t PROGRAM_RECORD_SIZE = 16;
inline constexpr std::size_t PROGRAM_LIMIT = 128;
inline constexpr std::size_t PROGRAM_TABLE_SIZE = PROGRAM_RECORD_SIZE * PROGRAM_LIMIT;  // 2048
inline constexpr std::size_t TONE_RECORD_SIZE = 32;
inline constexpr std::size_t TONES_PER_PROGRAM = 16;
inline constexpr std::size_t TONE_BLOCK_SIZE = TONE_RECORD_SIZE * TONES_PER_PROGRAM;  // 512
inline constexpr std::size_t TONE_TABLE_SIZE = TONE_BLOCK_SIZE * PROGRAM_LIMIT;       // 65536
inline constexpr std::size_t SAMPLE_TABLE_ENTRIES = 256;
inline constexpr std::size_t SAMPLE_TABLE_SIZE = 2 * SAMPLE_TABLE_ENTRIES;             // 512
inline constexpr std::size_t SAMPLE_LIMIT = SAMPLE_TABLE_ENTRIES - 1;                  // entry 0 is never used
inline constexpr std::size_t TONE_TABLE_OFFSET = VH_HEADER_SIZE + PROGRAM_TABLE_SIZE;  // 2080
inline constexpr std::size_t VH_FIXED_SIZE = TONE_TABLE_OFFSET + SAMPLE_TABLE_SIZE;    // 2592
inline constexpr std::size_t SAMPLE_UNIT = 8;
inline constexpr std::size_t VAG_HEADER_SIZE = 64;

// Header fields the bank reads; every other header byte is carried unchanged.
inline constexpr std::size_t VH_PROGRAM_COUNT_OFFSET = 0x12;
inline constexpr std::size_t VH_TONE_COUNT_OFFSET = 0x14;
inline constexpr std::size_t VH_SAMPLE_COUNT_OFFSET = 0x16;
// Tone record fields the bank reads.
inline constexpr std::size_t TONE_FINE_TUNING_OFFSET = 5;     // u8
inline constexpr std::size_t TONE_SAMPLE_NUMBER_OFFSET = 22;  // s16, sample index + 1; 0 means none

// One ADPCM block with the end flags set; appended to every sample parsed from a VB.
inline constexpr std::array<std::uint8_t, 16> SampleEndBlock = {0x00, 0x07, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77,
                                                                0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77};

// One sample of the bank.
struct SampleEntry {
  std::uint16_t sizeUnits = 0;     // size entry from the VH, in 8-byte units
  std::vector<std::uint8_t> data;  // the sample's VB bytes plus SampleEndBlock; empty until the VB is parsed
  std::uint32_t byteSize = 0;      // 8 x sizeUnits after the VH; 16 more (the end block) after the VB
  std::uint16_t pitch = 0;         // SamplePitch, set when the VB is parsed
  std::uint32_t sampleRate = 0;    // Hz, from pitch: SampleRateForPitch
};

// An in-memory sound bank. Empty (nothing held, loaded false), holding a VH, or holding a VH and its VB.
// The buffers are sized by ParseVh and emptied by ReleaseBank.
struct VabBank {
  std::vector<std::uint8_t> header;     // the 32 VH header bytes as read
  std::vector<std::uint8_t> programs;   // 2048 bytes: the program table
  std::vector<std::uint8_t> tones;      // 65536 bytes: block p holds program p's 16 tones; unused blocks zero
  std::vector<SampleEntry> samples;     // 256 entries; entries from sampleCount up stay zero
  std::vector<std::uint8_t> vagHeader;  // stays empty: a VAG is built whole by MakeVagBytes
  bool loaded = false;                  // true while the bank holds a parsed VH
};

// The counts in the bank's header (0 for an empty bank).
std::uint32_t ProgramCount(const VabBank& bank);
std::uint32_t ToneCount(const VabBank& bank);
std::uint32_t SampleCount(const VabBank& bank);

// Size of the VH of a bank with this many programs: 2592 + 512 x programCount.
constexpr std::size_t VhSize(std::size_t programCount) { return VH_FIXED_SIZE + TONE_BLOCK_SIZE * programCount; }

// Parses the VH at the start of buffer into bank, replacing whatever it held. Returns the bytes consumed,
// 2592 + 512 x programCount; 0 with the bank empty when the buffer is empty or shorter than that, or when
// the header counts more than 128 programs or 255 samples.
std::size_t ParseVh(VabBank& bank, std::span<const std::uint8_t> buffer);

// Parses the VB at the start of buffer into a bank that holds a VH and no VB yet: each non-empty sample gets
// its bytes plus the end block, its pitch and its sample rate. Returns the bytes taken, the sum of the sample
// sizes (0 when there is no sample); bytes behind them are ignored. A buffer shorter than the sizes gives 0
// and releases the bank; a bank without a VH, or already holding its VB, gives 0 and is left as it was.
std::size_t ParseVb(VabBank& bank, std::span<const std::uint8_t> buffer);

// The same parses with a status: nothing on failure (reason noted), so a caller can tell a refused VB from
// one that holds no sample.
std::optional<std::size_t> TryParseVh(VabBank& bank, std::span<const std::uint8_t> buffer);
std::optional<std::size_t> TryParseVb(VabBank& bank, std::span<const std::uint8_t> buffer);

// The pitch step of sample index (0-based): the playback driver's step for the first tone that plays it at
// that tone's centre note (CentreNotePitch of its fine tuning), searching blocks below the header's tone
// count (and below 128) in order; tone 0 of block 0 when none does.
std::uint16_t SamplePitch(const VabBank& bank, int index);

// Releases what the bank holds; the bank is empty afterwards. The VAG scratch header is its writer's.
void ReleaseBank(VabBank& bank);

}  // namespace vab
