#include "psf/played_sequences.h"

#include <algorithm>

#include "core/byte_io.h"
#include "seq/seq_events.h"
#include "seq/seq_format.h"

namespace psf {

namespace {

constexpr std::size_t SEP_FIRST_RECORD = 6;
constexpr std::uint32_t SLOTS = 2;
constexpr std::uint32_t LAST_SEP_ID = 0xFFFF;

bool HasSequenceSignature(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 16 && std::equal(seq::SEQ_MAGIC.begin(), seq::SEQ_MAGIC.end(), bytes.begin());
}

}  // namespace

std::optional<SepRecordPlace> FindSepRecord(std::span<const std::uint8_t> region, std::uint32_t id) {
  std::size_t record = SEP_FIRST_RECORD;
  for (std::uint32_t expected = 0; record + seq::SEP_RECORD_HEADER_SIZE <= region.size() && expected <= LAST_SEP_ID;
       ++expected) {
    if (core::LoadU16Be(region, record) != expected) return std::nullopt;
    const std::size_t size = core::LoadU32Be(region, record + 9);
    const std::size_t data = record + seq::SEP_RECORD_HEADER_SIZE;
    const bool cut = size > region.size() - data;
    if (expected == id) return SepRecordPlace{record + 2, data, cut ? region.size() : data + size, cut};
    if (cut) return std::nullopt;
    record = data + size;
  }
  return std::nullopt;
}

std::size_t SepRecordsEnd(std::span<const std::uint8_t> region) {
  std::size_t end = SEP_FIRST_RECORD;
  for (std::uint32_t id = 0; id <= LAST_SEP_ID; ++id) {
    const std::optional<SepRecordPlace> record = FindSepRecord(region, id);
    if (!record || record->cut) break;
    end = record->end;
  }
  return end;
}

std::vector<PlayedSequence> FindPlayedSequences(const SongSettings& settings, std::span<const std::uint8_t> songArea) {
  std::vector<PlayedSequence> sequences;
  if (!HasSequenceSignature(songArea)) return sequences;
  const auto region = songArea.first(std::min(songArea.size(), SEQUENCE_READ_SIZE));
  if (core::LoadU32Be(region, 4) != 0) {
    sequences.push_back({region.subspan(8, 5), region.subspan(seq::SEQ_HEADER_SIZE), false, 0});
    return sequences;
  }
  const std::uint32_t amount = std::clamp<std::uint32_t>(settings.sequenceAmount, 1, SLOTS);
  for (std::uint32_t slot = 0; slot < amount; ++slot) {
    const std::optional<SepRecordPlace> record = FindSepRecord(region, settings.sequenceId[slot]);
    // A missing first record lets the second take the first slot; a missing second leaves one slot.
    if (!record) {
      if (slot == 0) continue;
      break;
    }
    sequences.push_back({region.subspan(record->header, 5), region.subspan(record->start, record->end - record->start),
                         true, settings.sequenceId[slot]});
  }
  return sequences;
}

std::uint16_t FindChannelsWithNotes(const SongSettings& settings, std::span<const std::uint8_t> songArea) {
  std::uint16_t channels = 0;
  for (const PlayedSequence& sequence : FindPlayedSequences(settings, songArea)) {
    seq::SeqEvent event;
    for (seq::SeqEventReader reader(sequence.events); reader.Next(event);) {
      const bool noteOn = event.kind == seq::SeqEventKind::Channel && (event.status >> 4) == 0x9 && event.data[1] != 0;
      if (noteOn) channels = static_cast<std::uint16_t>(channels | 1u << event.channel());
    }
  }
  return channels;
}

}  // namespace psf
