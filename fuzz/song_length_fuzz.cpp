// The song-length model. Input: byte 0 the size P of the parameter block given (at most 196), byte 1 bit n
// mutes channels 2n and 2n+1, and bit 7 lists a SEP's records as well; bytes 2-3 the size
// S of the song area (little-endian); then the P parameter bytes, the S song-area bytes, and the VH (the
// rest). Properties: every figure finite and not negative, the length at least the end, pass ends in order,
// a fade of 10 s exactly when the song plays without end, nothing beyond the model's time and event limits,
// and nothing at all for a song of kind None.

#include <chrono>
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "psf/driver_info.h"
#include "psf/song_length.h"
#include "psf/song_settings.h"

namespace {

// Far tighter limits than the tool's: what they bound is the same code, and the fuzzer runs thousands of inputs a
// second instead of a few dozen.
constexpr psf::SongLimits LIMITS{.timeUs = 60'000'000, .events = 20'000};
constexpr double TIME_LIMIT_SECONDS = static_cast<double>(LIMITS.timeUs) / 1e6;
// The model may step over the limit by one service (at most 1/10 s at the slowest clock) and adds releases.
constexpr double RELEASE_LIMIT_SECONDS = 600;

bool Finite(double value) { return std::isfinite(value) && value >= 0; }

void CheckPassEnds(const std::vector<double>& ends) {
  for (std::size_t i = 0; i < ends.size(); ++i) {
    FUZZ_CHECK(Finite(ends[i]) && ends[i] <= TIME_LIMIT_SECONDS + 1);
    if (i > 0) FUZZ_CHECK(ends[i] >= ends[i - 1]);
  }
}

void CheckLength(const psf::SongLength& length) {
  if (length.kind == psf::SongKind::None) {
    FUZZ_CHECK(!length.endless && length.lengthSeconds == 0 && length.fadeSeconds == 0 && length.passEnds.empty() &&
               length.sequences.empty());
    return;
  }
  FUZZ_CHECK(Finite(length.lengthSeconds) && Finite(length.endSeconds) && Finite(length.releaseSeconds) &&
             Finite(length.passSeconds) && Finite(length.fadeSeconds));
  FUZZ_CHECK(length.lengthSeconds >= length.endSeconds);
  FUZZ_CHECK(std::fabs(length.endSeconds + length.releaseSeconds - length.lengthSeconds) < 1e-6);
  FUZZ_CHECK(length.endSeconds <= TIME_LIMIT_SECONDS + 1);
  FUZZ_CHECK(length.releaseSeconds <= RELEASE_LIMIT_SECONDS);
  FUZZ_CHECK(length.fadeSeconds == (length.endless ? psf::ENDLESS_FADE_SECONDS : 0.0));
  if (length.reachedLimit) FUZZ_CHECK(length.endless);
  CheckPassEnds(length.passEnds);
  if (!length.passEnds.empty()) FUZZ_CHECK(length.passSeconds == length.passEnds.front());
  FUZZ_CHECK(length.sequences.size() <= 2);
  if (length.kind == psf::SongKind::Vag) {
    FUZZ_CHECK(length.sequences.empty() && (length.reachedLimit || !length.passEnds.empty()));
  }
  for (const psf::SequenceFigures& sequence : length.sequences) {
    FUZZ_CHECK(sequence.events <= LIMITS.events + 1024);
    CheckPassEnds(sequence.passEnds);
    for (const psf::LoopMark& loop : sequence.loops) FUZZ_CHECK(loop.endTick == 0 || loop.endTick >= loop.startTick);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::span<const std::uint8_t> input(data, size);
  const std::size_t parameterSize = std::min<std::size_t>({data[0], psf::PARAMETER_BLOCK_SIZE, size - 4});
  const std::size_t songSize = std::min<std::size_t>(data[2] | data[3] << 8, size - 4 - parameterSize);
  const auto parameters = input.subspan(4, parameterSize);
  const auto songArea = input.subspan(4 + parameterSize, songSize);
  const auto vh = input.subspan(4 + parameterSize + songSize);
  std::array<std::uint8_t, psf::MUTE_BLOCK_SIZE> mute{};
  for (std::size_t channel = 0; channel < psf::MUTE_CHANNELS; ++channel)
    mute[4 * channel] = data[1] >> (channel / 2) & 1;

  const psf::SongSettings settings = psf::DecodeSongSettings(parameters, mute);
  FUZZ_CHECK(settings.sequenceAmount >= 1 && settings.tickMode >= 1 && settings.customTickRate <= 400);
  FUZZ_CHECK(settings.accelerando <= 3600 && settings.ritardando <= 3600);
  FUZZ_CHECK(settings.sequenceAddress == 0 ||
             psf::NormaliseRamAddress(settings.sequenceAddress) == settings.sequenceAddress);

  const auto started = std::chrono::steady_clock::now();
  CheckLength(psf::ComputeSongLength(settings, songArea, vh, LIMITS));
  if (data[1] & 0x80) {
    std::uint32_t expectedId = 0;
    for (const psf::SepRecordLength& record : psf::ComputeSepRecordLengths(settings, songArea, vh, LIMITS)) {
      FUZZ_CHECK(record.id == expectedId++);
      FUZZ_CHECK(record.length.kind == psf::SongKind::Sequence);
      CheckLength(record.length);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (seconds > 1 && std::getenv("LFQ_FUZZ_REPORT_SLOW")) std::fprintf(stderr, "slow input: %.1f s\n", seconds);
  return 0;
}
