#pragma once

#include <cstdint>

namespace vab {

// The fine tuning of a tone counts 1/128 semitones in its low seven bits; the playback driver ignores the
// top bit, and so does everything here.
inline constexpr std::uint8_t FINE_TUNING_MASK = 0x7F;

// The SPU pitch step at which the playback driver plays a tone at its centre note: 0x1000 x 2^(f / 1536)
// rounded to the nearest step, f the low seven bits of fineTuning. 0 gives 0x1000 (44,100 Hz), 64 gives 4216.
std::uint16_t CentreNotePitch(std::uint8_t fineTuning);

// The sample rate in Hz at which a pitch step plays a sample: floor(pitch x 44100 / 4096).
std::uint32_t SampleRateForPitch(std::uint16_t pitch);

}  // namespace vab
