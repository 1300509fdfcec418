#include "psf/service_clock.h"

#include <algorithm>

namespace psf {

namespace {

constexpr std::uint32_t ONE_SECOND_US = 1000000;
constexpr std::uint32_t NORMAL_SPEED = 256;
constexpr std::uint32_t LONG_RAMP_MS = 0xFFFFF;
constexpr std::uint64_t ELAPSED_MS_LIMIT = 0x7FFFFFFF;

std::uint32_t VideoRate(const SongSettings& settings) { return settings.pal ? 50 : 60; }

std::uint32_t ServiceRate(const SongSettings& settings) {
  if (settings.customTickRate != 0) return settings.customTickRate;
  switch (settings.tickMode) {
    case 1:
      return VideoRate(settings);
    case 2:
      return 240;
    case 3:
      return 120;
    case 4:
      return 50;
    case 5:
      return 0;
    default:
      return ONE_SECOND_US / HEARTBEAT_US;
  }
}

// The driver's linear move from a to b over duration ms, t ms in; long ramps count in coarser steps so that
// its 32-bit products stay in range, and the figures here must round as its do.
std::uint32_t Ramp(std::uint32_t a, std::uint32_t b, std::uint32_t t, std::uint32_t duration) {
  if (t >= duration) return b;
  while (duration > LONG_RAMP_MS) {
    t >>= 1;
    duration >>= 1;
  }
  if (b >= a) return a + (b - a) * t / duration;
  return a - (a - b) * t / duration;
}

std::uint32_t TargetSpeed(const SongSettings& settings, std::uint32_t headerTempo, bool faster) {
  std::uint32_t target = 0;
  if (settings.customTempoValue != 0) {
    const std::uint32_t targetUs = ONE_SECOND_US * 60 / settings.customTempoValue;
    if (targetUs != 0) target = (headerTempo << 8) / targetUs;
  }
  if (faster && target <= NORMAL_SPEED) target = 2 * NORMAL_SPEED;
  if (!faster && (target >= NORMAL_SPEED || target == 0)) target = NORMAL_SPEED / 2;
  return std::clamp<std::uint32_t>(target, 32, 2048);
}

}  // namespace

ServiceClock::ServiceClock(const SongSettings& settings)
    : m_rate(ServiceRate(settings)),
      m_period(m_rate != 0 ? ONE_SECOND_US / m_rate : 0),
      m_videoRate(VideoRate(settings)) {}

std::uint64_t ServiceClock::TimeOf(std::uint64_t n) const {
  if (m_rate == 0) return n * (ONE_SECOND_US / HEARTBEAT_US) / m_videoRate * HEARTBEAT_US;
  return (n * m_period + HEARTBEAT_US - 1) / HEARTBEAT_US * HEARTBEAT_US;
}

std::uint64_t ServiceClock::FirstAtOrAfter(std::uint64_t us) const {
  const std::uint64_t beats = (us + HEARTBEAT_US - 1) / HEARTBEAT_US;  // heartbeats the clock must reach
  if (beats == 0) return 1;
  // Per frame: floor(400n / videoRate) >= beats. Per period: ceil(n x period / 2500) >= beats, that is
  // n x period > 2500 x (beats - 1).
  if (m_rate == 0)
    return std::max<std::uint64_t>(
        1, (beats * m_videoRate + ONE_SECOND_US / HEARTBEAT_US - 1) / (ONE_SECOND_US / HEARTBEAT_US));
  return std::max<std::uint64_t>(1, HEARTBEAT_US * (beats - 1) / m_period + 1);
}

SpeedRamp::SpeedRamp(const SongSettings& settings, std::uint32_t headerTempo)
    : m_accelerandoMs(settings.accelerando * 1000),
      m_ritardandoMs(settings.ritardando * 1000),
      m_faster(TargetSpeed(settings, headerTempo, true)),
      m_slower(TargetSpeed(settings, headerTempo, false)),
      m_settled(m_ritardandoMs != 0 ? m_slower : (m_accelerandoMs != 0 ? m_faster : NORMAL_SPEED)) {}

std::uint32_t SpeedRamp::SpeedAt(std::uint64_t elapsedMs) const {
  const auto t = static_cast<std::uint32_t>(std::min(elapsedMs, ELAPSED_MS_LIMIT));
  if (m_accelerandoMs != 0 && t < m_accelerandoMs) return Ramp(NORMAL_SPEED, m_faster, t, m_accelerandoMs);
  if (m_ritardandoMs != 0) {
    const std::uint32_t from = m_accelerandoMs != 0 ? m_faster : NORMAL_SPEED;
    return Ramp(from, m_slower, m_accelerandoMs != 0 ? t - m_accelerandoMs : t, m_ritardandoMs);
  }
  return m_accelerandoMs != 0 ? m_faster : NORMAL_SPEED;
}

}  // namespace psf
