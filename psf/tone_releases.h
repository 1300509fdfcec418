#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace psf {

// Longest release the song length counts: slow envelopes take minutes to reach zero while long inaudible.
inline constexpr std::uint32_t RELEASE_LIMIT_US = 30000000;

// Microseconds the SPU takes to bring an envelope from full level to zero after a key off, for the release
// mode and shift of an ADSR2 value (bit 5 exponential, bits 0-4 shift), at most RELEASE_LIMIT_US.
std::uint32_t ReleaseDurationUs(std::uint16_t adsr2);

// One tone of a program as a note-on uses it.
struct ToneRelease {
  std::uint8_t low = 0, high = 0;  // key range
  std::uint8_t priority = 0;
  std::uint32_t releaseUs = 0;  // ReleaseDurationUs of its ADSR2
};

// The tones the driver can sound per program, read from a VH as the driver indexes it in RAM: tone blocks
// handed out in program order to the programs whose tone count is not 0, tones whose sample is missing or
// does not fit SPU RAM left out. Every list is empty for a VH the driver would not use.
struct BankTones {
  std::array<std::vector<ToneRelease>, 128> programs;
};

// Reads the bank's tones from the VH bytes (RAM from the VH address on); missing bytes make it unusable.
BankTones ReadBankTones(std::span<const std::uint8_t> vh);

}  // namespace psf
