#include "psf/tone_releases.h"

#include <algorithm>
#include <cstddef>

#include "core/byte_io.h"

namespace psf {

namespace {

// VH layout as the driver reads it (little-endian): header counts at +0x12 (tone blocks), +0x16 (samples);
// 128 program records of 16 bytes at +0x20 (+0 tone count); tone blocks of 16 records of 32 bytes at +0x820
// (+0 priority, +6/+7 key range, +18 ADSR2, +22 sample number from 1); then 256 u16 sample sizes in 8-byte
// units.
constexpr std::size_t VH_HEADER = 0x20;
constexpr std::size_t VH_PROGRAMS = 0x800;
constexpr std::size_t VH_TONE_BLOCK = 0x200;
constexpr std::size_t VH_SIZE_TABLE = 0x200;
constexpr std::size_t TONE_RECORD = 32;
constexpr std::uint32_t SPU_RAM_SIZE = 0x80000;
constexpr std::uint32_t SPU_SAMPLES = 0x1010;  // first SPU byte of the uploaded samples

constexpr std::uint32_t FULL_LEVEL = 0x7FFF;
constexpr std::uint32_t FAST_SHIFTS = 12;  // shifts 0-11 step every sample; slower ones wait 2^(shift-11)
constexpr std::uint64_t SPU_RATE = 44100;

// Steps an exponential release takes from full level to zero when each takes ceil(k x level / 0x8000),
// k = 8 << (11 - shift); shifts from 11 up all use k = 8.
const std::array<std::uint32_t, FAST_SHIFTS>& ExponentialSteps() {
  static const std::array<std::uint32_t, FAST_SHIFTS> steps = [] {
    std::array<std::uint32_t, FAST_SHIFTS> table{};
    for (std::uint32_t shift = 0; shift < FAST_SHIFTS; ++shift) {
      const std::uint32_t k = 8u << (11 - shift);
      std::uint32_t level = FULL_LEVEL, count = 0;
      while (level > 0) {
        const std::uint32_t fall = (k * level + 0x7FFF) >> 15;
        level = fall >= level ? 0 : level - fall;
        ++count;
      }
      table[shift] = count;
    }
    return table;
  }();
  return steps;
}

}  // namespace

std::uint32_t ReleaseDurationUs(std::uint16_t adsr2) {
  const std::uint32_t shift = adsr2 & 0x1Fu;
  const bool exponential = (adsr2 & 0x20u) != 0;
  const std::uint32_t fast = std::min(shift, FAST_SHIFTS - 1);
  const std::uint64_t samplesPerStep = std::uint64_t{1} << (shift > 11 ? shift - 11 : 0);
  const std::uint32_t steps =
      exponential ? ExponentialSteps()[fast] : (FULL_LEVEL + (8u << (11 - fast)) - 1) / (8u << (11 - fast));
  const std::uint64_t us = (steps * samplesPerStep * 1000000 + SPU_RATE - 1) / SPU_RATE;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(us, RELEASE_LIMIT_US));
}

BankTones ReadBankTones(std::span<const std::uint8_t> vh) {
  BankTones bank;
  if (vh.size() < VH_HEADER + VH_PROGRAMS + VH_SIZE_TABLE) return bank;
  const std::uint32_t blocks = core::LoadU16Le(vh, 0x12);
  const std::uint32_t samples = core::LoadU16Le(vh, 0x16);
  if (blocks == 0 || blocks > 128 || samples > 255) return bank;
  const std::size_t sizes = VH_HEADER + VH_PROGRAMS + VH_TONE_BLOCK * blocks;
  if (sizes + VH_SIZE_TABLE > vh.size()) return bank;

  // Samples are uploaded back to back while they fit SPU RAM; tones of the others stay silent.
  std::array<bool, 256> uploaded{};
  std::uint32_t spu = SPU_SAMPLES;
  for (std::size_t n = 1; n <= samples; ++n) {
    const std::uint32_t bytes = core::LoadU16Le(vh, sizes + 2 * n) * 8;
    if (bytes == 0) continue;
    if (spu + bytes > SPU_RAM_SIZE) break;
    uploaded[n] = true;
    spu += bytes;
  }

  std::uint32_t block = 0;
  for (std::size_t p = 0; p < bank.programs.size(); ++p) {
    const std::uint32_t tones = core::LoadU8(vh, VH_HEADER + 16 * p);
    if (tones == 0 || block >= blocks) continue;
    const std::size_t blockStart = VH_HEADER + VH_PROGRAMS + VH_TONE_BLOCK * block++;
    for (std::size_t t = 0; t < std::min<std::uint32_t>(tones, 16); ++t) {
      const std::size_t record = blockStart + TONE_RECORD * t;
      const std::uint32_t sample = core::LoadU16Le(vh, record + 22);
      if (sample == 0 || sample > samples || !uploaded[sample]) continue;
      ToneRelease tone;
      tone.priority = static_cast<std::uint8_t>(core::LoadU8(vh, record));
      tone.low = static_cast<std::uint8_t>(core::LoadU8(vh, record + 6));
      tone.high = static_cast<std::uint8_t>(core::LoadU8(vh, record + 7));
      tone.releaseUs = ReleaseDurationUs(static_cast<std::uint16_t>(core::LoadU16Le(vh, record + 18)));
      bank.programs[p].push_back(tone);
    }
  }
  return bank;
}

}  // namespace psf
