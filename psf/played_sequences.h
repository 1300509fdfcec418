#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "psf/song_settings.h"

namespace psf {

// The driver reads a SEQ or SEP no further than this from the sequence address.
inline constexpr std::size_t SEQUENCE_READ_SIZE = 0x40000;

// Where one record of a SEP lies, in offsets from the start of the SEP.
struct SepRecordPlace {
  std::size_t header = 0;  // of its resolution (the 5 bytes resolution and tempo), 2 past its id
  std::size_t start = 0;   // of its event data
  std::size_t end = 0;     // just past its event data; cut at the end of the region when it runs past
  bool cut = false;        // its data runs past the end of the region
};

// The record with the given id, walked as the driver walks them: ids in order from 0, a record cut by the end
// of the region ending the walk. Nothing when the walk does not reach it.
std::optional<SepRecordPlace> FindSepRecord(std::span<const std::uint8_t> region, std::uint32_t id);

// Just past the last whole record of the SEP in region, walked as the driver walks them (6, behind the
// signature and version, when it holds none).
std::size_t SepRecordsEnd(std::span<const std::uint8_t> region);

// One sequence the driver plays from the song at the sequence address.
struct PlayedSequence {
  std::span<const std::uint8_t> header;  // resolution (2 bytes) and tempo (3 bytes), big-endian
  std::span<const std::uint8_t> events;  // its event data
  bool fromSep = false;
  std::uint32_t sepId = 0;
};

// The sequences the driver finds in songArea (RAM from the sequence address on): the one of a SEQ, or the
// records of a SEP that Sequence Amount and Sequence ID #1/#2 choose (a missing first record lets the second
// take its slot). Empty for a VAG or data without the "pQES" signature.
std::vector<PlayedSequence> FindPlayedSequences(const SongSettings& settings, std::span<const std::uint8_t> songArea);

// Bit n set when a sequence the driver plays from songArea starts a note (note on, velocity above 0) on
// channel n.
std::uint16_t FindChannelsWithNotes(const SongSettings& settings, std::span<const std::uint8_t> songArea);

}  // namespace psf
