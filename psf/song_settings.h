#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace psf {

struct PsfBuilder;

// The driver parameters that decide when and for how long the driver plays a song, as the driver takes them
// at start-up: zero fields replaced by its defaults, ranges clamped, addresses in KSEG0 form (0 for one
// outside RAM).
struct SongSettings {
  std::uint32_t sequenceAddress = 0x800A0000;  // SEQ/SEP/VAG Address
  std::uint32_t vhAddress = 0x800E0000;        // VH Address
  std::uint32_t playbackAmount = 0;            // passes; 0 plays without end
  bool automaticStop = false;                  // the last pass releases the notes still held
  bool sepInTurn = false;                      // SEP Play Mode non-zero: two sequences one after the other
  std::array<std::uint32_t, 2> sequenceId{};   // SEP records of the two sequence slots
  std::uint32_t sequenceAmount = 1;            // slots to fill from a SEP, 1 or 2
  bool pal = false;                            // Video Mode non-zero: 50 video frames a second, else 60
  std::uint32_t tickMode = 1;                  // Sequence Tick Mode
  std::uint32_t customTickRate = 0;            // Custom Tick Timing, services a second (0-400); 0 = by tick mode
  bool customTempo = false;                    // Custom Tempo?
  std::uint32_t customTempoValue = 0;          // Custom Tempo Value, quarter notes a minute
  std::uint32_t customResolution = 0;          // Custom Tick Resolution; 0 = the sequence's own
  std::uint32_t accelerando = 0;               // Custom Accelerando?, seconds of the ramp (0-3600)
  std::uint32_t ritardando = 0;                // Custom Ritardando?, seconds of the ramp (0-3600)
  bool tickSkip = false;                       // Custom Tick Skip?
  std::uint32_t tickSkipUnit = 0;              // 0 ticks, otherwise quarter notes
  std::uint32_t tickSkipValue = 0;
  bool highPriority = false;   // VAB High-Priority: every tone takes priority 127
  std::uint16_t muteMask = 0;  // bit n: channel n is muted (its mute word is non-zero)
};

// The settings held by a 196-byte ParameterBlock and a 72-byte MuteBlock, read as the driver reads them;
// missing bytes count as zero.
SongSettings DecodeSongSettings(std::span<const std::uint8_t> parameterBlock, std::span<const std::uint8_t> muteBlock);

// The settings of the builder's driver, read from its RAM image at the ParameterBlock and MuteBlock
// addresses; the driver's defaults when no driver is held.
SongSettings ReadSongSettings(const PsfBuilder& builder);

// Maps any form of a main RAM address (KUSEG, KSEG0, KSEG1) to KSEG0, as the driver does; 0 for one
// outside RAM.
std::uint32_t NormaliseRamAddress(std::uint32_t address);

}  // namespace psf
