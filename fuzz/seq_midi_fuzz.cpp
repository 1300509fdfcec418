// SEQ event reading and SEQ to MIDI, in memory. Properties:
// - SeqEventReader never reads past its span; each event starts where the last ended, positions only grow,
//   each event's tick is the sum of the deltas so far, data bytes (but a tempo's) are 7-bit, running status
//   is the last status; it stops for good, at the end of the last event it read, with a state that says why;
// - MidiFromSeq refuses a SEP, and otherwise converts exactly when the reader ends at an end of track; its
//   file is one format-0 track whose length matches, which a standard MIDI reader walks to FF 2F 00 at the
//   very end, finding the SEQ's channel events, its tempo events plus the inserted one, and its ticks;
// - the file conversion (for one input length in eight) writes exactly those bytes beside the SEQ, and
//   nothing when it refuses.

#include "fuzz/fuzz_support.h"
#include "seq/seq_events.h"
#include "seq/seq_format.h"
#include "seq/seq_to_midi.h"

namespace {

constexpr std::size_t SEQ_EVENTS_START = 15;

struct EventCounts {
  std::uint64_t channel = 0;
  std::uint64_t tempo = 0;
  std::uint64_t ticks = 0;
  bool ended = false;
};

EventCounts ReadSeqEvents(std::span<const std::uint8_t> bytes, std::size_t start) {
  seq::SeqEventReader reader(bytes, start);
  EventCounts counts;
  seq::SeqEvent event;
  std::size_t position = std::min(start, bytes.size());
  std::uint8_t status = 0;
  FUZZ_CHECK(reader.position() == position && reader.tick() == 0);
  while (reader.Next(event)) {
    FUZZ_CHECK(event.offset == position);
    FUZZ_CHECK(event.offset < event.statusOffset && event.statusOffset - event.offset <= 4);
    FUZZ_CHECK(event.statusOffset < event.end && event.end <= bytes.size());
    FUZZ_CHECK(event.delta < (1u << 28));
    FUZZ_CHECK(event.tick == counts.ticks + event.delta);
    FUZZ_CHECK(event.status >= 0x80);
    FUZZ_CHECK(event.runningStatus == (bytes[event.statusOffset] < 0x80));
    FUZZ_CHECK(event.runningStatus ? event.status == status : event.status == bytes[event.statusOffset]);
    FUZZ_CHECK(event.dataCount >= 1 && event.dataCount <= 3);
    if (event.kind != seq::SeqEventKind::Tempo)
      for (int i = 0; i < event.dataCount; ++i) FUZZ_CHECK(event.data[i] < 0x80);
    FUZZ_CHECK((event.kind == seq::SeqEventKind::Channel) == (event.status < 0xF0));
    FUZZ_CHECK(reader.position() == event.end && reader.tick() == event.tick);
    FUZZ_CHECK(reader.state() == (event.endsTrack() ? seq::SeqReadState::Ended : seq::SeqReadState::Reading));
    position = event.end;
    status = event.status;
    counts.ticks = event.tick;
    counts.channel += event.kind == seq::SeqEventKind::Channel;
    counts.tempo += event.kind == seq::SeqEventKind::Tempo;
  }
  FUZZ_CHECK(reader.state() != seq::SeqReadState::Reading);
  FUZZ_CHECK(reader.position() == position && reader.tick() == counts.ticks);
  FUZZ_CHECK(!reader.Next(event) && reader.position() == position);
  counts.ended = reader.state() == seq::SeqReadState::Ended;
  return counts;
}

// A variable-length number of a standard MIDI file, at most four bytes.
bool ReadNumber(const std::vector<std::uint8_t>& midi, std::size_t& at, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4 && at < midi.size(); ++i) {
    const std::uint8_t byte = midi[at++];
    value = value << 7 | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

// Walks the track as a standard MIDI reader does (metas and system events carry lengths; running status
// only for channel events).
EventCounts ReadMidiTrack(const std::vector<std::uint8_t>& midi) {
  FUZZ_CHECK(midi.size() >= 22 + 3);
  const std::uint8_t header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
  FUZZ_CHECK(std::equal(std::begin(header), std::end(header), midi.begin()));
  FUZZ_CHECK(std::equal(midi.begin() + 14, midi.begin() + 18, "MTrk"));
  FUZZ_CHECK(fuzz_support::LoadU32Be(midi, 18) == midi.size() - 22);
  EventCounts counts;
  std::size_t at = 22;
  std::uint8_t status = 0;
  while (!counts.ended) {
    std::uint32_t delta = 0;
    FUZZ_CHECK(ReadNumber(midi, at, delta));
    counts.ticks += delta;
    FUZZ_CHECK(at < midi.size());
    if (midi[at] >= 0x80) status = midi[at++];
    FUZZ_CHECK(status != 0);
    if (status < 0xF0) {
      const std::size_t size = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
      FUZZ_CHECK(midi.size() - at >= size);
      for (std::size_t i = 0; i < size; ++i) FUZZ_CHECK(midi[at + i] < 0x80);
      at += size;
      ++counts.channel;
      continue;
    }
    std::uint8_t type = 0;
    if (status == 0xFF) {
      FUZZ_CHECK(at < midi.size());
      type = midi[at++];
    }
    std::uint32_t length = 0;
    FUZZ_CHECK(ReadNumber(midi, at, length) && midi.size() - at >= length);
    at += length;
    counts.tempo += status == 0xFF && type == 0x51 && length == 3;
    counts.ended = status == 0xFF && type == 0x2F;
    status = 0;
  }
  FUZZ_CHECK(at == midi.size());
  return counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  // Bare event data as well as a whole SEQ: the reader takes any start.
  ReadSeqEvents(input, 0);
  const EventCounts seqCounts = ReadSeqEvents(input, SEQ_EVENTS_START);

  const std::optional<std::vector<std::uint8_t>> midi = seq::MidiFromSeq(input);
  const bool isSep = size >= 8 && fuzz_support::LoadU32Be(input, 4) == 0;
  if (isSep || size < SEQ_EVENTS_START) FUZZ_CHECK(!midi);
  if (midi) {
    FUZZ_CHECK(seqCounts.ended);
    const EventCounts midiCounts = ReadMidiTrack(*midi);
    FUZZ_CHECK(midiCounts.channel == seqCounts.channel);
    FUZZ_CHECK(midiCounts.tempo == seqCounts.tempo + 1);
    FUZZ_CHECK(midiCounts.ticks == seqCounts.ticks);
  } else if (!isSep && size >= SEQ_EVENTS_START) {
    // Refused for the end-of-track pattern in the header, or events that stop before an end of track.
    const std::uint8_t marker[] = {0x00, 0xFF, 0x2F, 0x00};
    const auto head = input.first(std::min<std::size_t>(size, SEQ_EVENTS_START + 3));
    FUZZ_CHECK(!seqCounts.ended || std::search(head.begin(), head.end(), marker, marker + 4) != head.end());
  }

  // The file conversion writes the same bytes, or nothing (for one input length in eight: files are slow).
  if (size % 8 != 0) return 0;
  const auto& dir = fuzz_support::ScratchDir();
  dir.Clear();
  fuzz_support::WriteFile(dir / "song.seq", input);
  FUZZ_CHECK(seq::ConvertSeqToMidi(dir / "song.seq") == (midi ? 1 : 0));
  if (midi) {
    FUZZ_CHECK(fuzz_support::ReadFile(dir / "song.mid") == *midi);
  } else {
    FUZZ_CHECK(dir.Listing() == std::vector<std::string>{"song.seq"});
  }
  return 0;
}
