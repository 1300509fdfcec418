#include "psf/song_settings.h"

#include <algorithm>

#include "core/byte_io.h"
#include "psf/driver_info.h"
#include "psf/psf_builder.h"

namespace psf {

namespace {

// ParameterBlock fields the driver's timing depends on: offset, width.
constexpr std::size_t PB_SEQUENCE_ADDRESS = 0x00;    // u32
constexpr std::size_t PB_VH_ADDRESS = 0x04;          // u32
constexpr std::size_t PB_PLAYBACK_TYPE = 0x18;       // u32
constexpr std::size_t PB_SEP_PLAY_MODE = 0x1C;       // u32
constexpr std::size_t PB_VIDEO_MODE = 0x20;          // u32
constexpr std::size_t PB_PLAYBACK_AMOUNT = 0x2C;     // u32
constexpr std::size_t PB_SEQUENCE_ID1 = 0x36;        // u16
constexpr std::size_t PB_SEQUENCE_ID2 = 0x38;        // u16
constexpr std::size_t PB_SEQUENCE_AMOUNT = 0x3C;     // u16
constexpr std::size_t PB_AUTOMATIC_STOP = 0x40;      // u32
constexpr std::size_t PB_HIGH_PRIORITY = 0x94;       // u32
constexpr std::size_t PB_CUSTOM_TEMPO = 0x98;        // u32
constexpr std::size_t PB_ACCELERANDO = 0x9C;         // u32
constexpr std::size_t PB_RITARDANDO = 0xA8;          // u32
constexpr std::size_t PB_TICK_SKIP = 0xAC;           // u32
constexpr std::size_t PB_CUSTOM_TEMPO_VALUE = 0xB0;  // u16
constexpr std::size_t PB_TICK_MODE = 0xB4;           // u32
constexpr std::size_t PB_CUSTOM_RESOLUTION = 0xB8;   // u32
constexpr std::size_t PB_CUSTOM_TICK_RATE = 0xBC;    // u32
constexpr std::size_t PB_TICK_SKIP_UNIT = 0xC0;      // u8
constexpr std::size_t PB_TICK_SKIP_VALUE = 0xC2;     // u16

constexpr std::uint32_t PARAMETER_BLOCK_ADDRESS = 0x800228A8;
constexpr std::uint32_t MUTE_BLOCK_ADDRESS = 0x80022860;
constexpr std::uint32_t PLAYBACK_TYPE_VAG = 2;
constexpr std::uint32_t RAMP_LIMIT_SECONDS = 3600;
constexpr std::uint32_t TICK_RATE_LIMIT = 400;

std::uint32_t Or(std::uint32_t value, std::uint32_t fallback) { return value != 0 ? value : fallback; }

// The size bytes the builder's image holds at address (the driver reads its blocks at fixed addresses), or an
// empty span when they do not lie in RAM.
std::span<const std::uint8_t> ImageBlock(const PsfBuilder& builder, std::uint32_t address, std::size_t size) {
  const auto bytes = RamBytes(builder.image, address, size);
  return bytes ? *bytes : std::span<const std::uint8_t>{};
}

}  // namespace

std::uint32_t NormaliseRamAddress(std::uint32_t address) {
  if ((address & 0x1FE00000u) != 0) return 0;
  const std::uint32_t segment = address & 0xE0000000u;
  if (segment != 0 && segment != 0x80000000u && segment != 0xA0000000u) return 0;
  return 0x80000000u | (address & 0x1FFFFFu);
}

SongSettings DecodeSongSettings(std::span<const std::uint8_t> block, std::span<const std::uint8_t> muteBlock) {
  const auto u32 = [&](std::size_t offset) { return core::LoadU32Le(block, offset); };
  const auto u16 = [&](std::size_t offset) { return core::LoadU16Le(block, offset); };
  SongSettings s;
  const std::uint32_t playbackType = Or(u32(PB_PLAYBACK_TYPE), 1);
  s.sequenceAddress =
      NormaliseRamAddress(Or(u32(PB_SEQUENCE_ADDRESS), playbackType == PLAYBACK_TYPE_VAG ? 0x80030000u : 0x800A0000u));
  s.vhAddress = NormaliseRamAddress(Or(u32(PB_VH_ADDRESS), 0x800E0000u));
  s.playbackAmount = u32(PB_PLAYBACK_AMOUNT);
  s.automaticStop = u32(PB_AUTOMATIC_STOP) != 0;
  s.sepInTurn = u32(PB_SEP_PLAY_MODE) != 0;
  s.sequenceId = {u16(PB_SEQUENCE_ID1), u16(PB_SEQUENCE_ID2)};
  s.sequenceAmount = Or(u16(PB_SEQUENCE_AMOUNT), 1);
  s.pal = u32(PB_VIDEO_MODE) != 0;
  s.tickMode = Or(u32(PB_TICK_MODE), 1);
  s.customTickRate = std::min(u32(PB_CUSTOM_TICK_RATE), TICK_RATE_LIMIT);
  s.customTempo = u32(PB_CUSTOM_TEMPO) != 0;
  s.customTempoValue = u16(PB_CUSTOM_TEMPO_VALUE);
  s.customResolution = u32(PB_CUSTOM_RESOLUTION);
  s.accelerando = std::min(u32(PB_ACCELERANDO), RAMP_LIMIT_SECONDS);
  s.ritardando = std::min(u32(PB_RITARDANDO), RAMP_LIMIT_SECONDS);
  s.tickSkip = u32(PB_TICK_SKIP) != 0;
  s.tickSkipUnit = core::LoadU8(block, PB_TICK_SKIP_UNIT);
  s.tickSkipValue = u16(PB_TICK_SKIP_VALUE);
  s.highPriority = u32(PB_HIGH_PRIORITY) != 0;
  for (std::size_t channel = 0; channel < MUTE_CHANNELS; ++channel)
    if (core::LoadU32Le(muteBlock, 4 * channel) != 0)
      s.muteMask = static_cast<std::uint16_t>(s.muteMask | 1u << channel);
  return s;
}

SongSettings ReadSongSettings(const PsfBuilder& builder) {
  if (!builder.held) return DecodeSongSettings({}, {});
  return DecodeSongSettings(ImageBlock(builder, PARAMETER_BLOCK_ADDRESS, PARAMETER_BLOCK_SIZE),
                            ImageBlock(builder, MUTE_BLOCK_ADDRESS, MUTE_BLOCK_SIZE));
}

}  // namespace psf
