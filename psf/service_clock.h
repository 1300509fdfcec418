#pragma once

#include <cstdint>

#include "psf/song_settings.h"

namespace psf {

// The driver's song clock advances in 2.5 ms heartbeats of root counter 2.
inline constexpr std::uint32_t HEARTBEAT_US = 2500;

// When the driver's services run. Service 0 runs at start-up; service n > 0 runs at the first heartbeat at or
// after n service periods (the clock never falls behind, as a period is at least one heartbeat), or, in the
// tick mode of one service per video frame, at the n-th frame, with the heartbeats counted by then.
class ServiceClock {
 public:
  explicit ServiceClock(const SongSettings& settings);

  // Song clock of service n in microseconds: a whole number of heartbeats.
  std::uint64_t TimeOf(std::uint64_t n) const;
  // The first service n >= 1 whose time is at or after us.
  std::uint64_t FirstAtOrAfter(std::uint64_t us) const;
  // Services a second as the settings ask; 0 for one per video frame.
  std::uint32_t rate() const { return m_rate; }
  // Nominal microseconds from one service to the next (a frame for the per-frame mode).
  std::uint32_t periodUs() const { return m_rate != 0 ? m_period : 1000000u / m_videoRate; }

 private:
  std::uint32_t m_rate;
  std::uint32_t m_period;  // 1,000,000 / rate, whole microseconds as the driver divides
  std::uint32_t m_videoRate;
};

// Song time per real time (256 = as written) under the accelerando and ritardando ramps, as the driver sets
// it at each service from the whole milliseconds elapsed.
class SpeedRamp {
 public:
  // headerTempo: the first sequence's starting tempo, which the ramps' targets are measured against.
  SpeedRamp(const SongSettings& settings, std::uint32_t headerTempo);

  std::uint32_t SpeedAt(std::uint64_t elapsedMs) const;
  // From this many milliseconds on the speed stays at settledSpeed().
  std::uint64_t settledAfterMs() const { return std::uint64_t{m_accelerandoMs} + m_ritardandoMs; }
  std::uint32_t settledSpeed() const { return m_settled; }

 private:
  std::uint32_t m_accelerandoMs, m_ritardandoMs;
  std::uint32_t m_faster, m_slower;  // the two ramps' target speeds
  std::uint32_t m_settled;
};

}  // namespace psf
