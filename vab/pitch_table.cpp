#include "vab/pitch_table.h"

#include <cmath>

namespace vab {

std::uint16_t CentreNotePitch(std::uint8_t fineTuning) {
  // Every exact value lies at least 0.01 away from a half step, far beyond double's rounding, so the
  // nearest step is the same as the driver's integer arithmetic gives (its host test checks all 128).
  const double fine = fineTuning & FINE_TUNING_MASK;
  return static_cast<std::uint16_t>(std::lround(4096.0 * std::exp2(fine / 1536.0)));
}

std::uint32_t SampleRateForPitch(std::uint16_t pitch) { return static_cast<std::uint32_t>(pitch) * 44100 / 4096; }

}  // namespace vab
