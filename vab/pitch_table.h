#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vab {

inline constexpr std::size_t PITCH_TABLE_SIZE = 192;

// One octave of SPU pitch values in 16 steps per semitone: entry k is floor(4096 x 2^(k/192)), so entry 0
// (0x1000) plays a sample at its recorded rate and each entry raises it by 1/16 of a semitone.
extern const std::array<std::uint16_t, PITCH_TABLE_SIZE> PitchTable;

}  // namespace vab
