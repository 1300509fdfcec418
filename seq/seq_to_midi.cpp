#include "seq/seq_to_midi.h"

#include <algorithm>
#include <array>
#include <climits>
#include <string>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"
#include "seq/seq_events.h"
#include "seq/seq_format.h"

namespace seq {

namespace {

constexpr std::size_t MIDI_TRACK_LENGTH_OFFSET = 18;

std::vector<std::uint8_t> BuildMidiPrefix(std::span<const std::uint8_t> seqHeader, std::uint32_t trackLength) {
  core::ByteWriter midi;
  midi.Text("MThd");
  midi.U32Be(6);
  midi.U16Be(0);  // format 0
  midi.U16Be(1);  // one track
  midi.Bytes(seqHeader.subspan(8, 2));
  midi.Text("MTrk");
  midi.U32Be(trackLength);
  // Set tempo, microseconds per quarter note.
  midi.Bytes(std::array<std::uint8_t, 4>{0x00, 0xFF, 0x51, 0x03});
  midi.Bytes(seqHeader.subspan(10, 3));
  // Time signature: 24 MIDI clocks per metronome click, 8 thirty-second notes per quarter note.
  midi.Bytes(std::array<std::uint8_t, 4>{0x00, 0xFF, 0x58, 0x04});
  midi.Bytes(seqHeader.subspan(13, 2));
  midi.Bytes(std::array<std::uint8_t, 2>{0x18, 0x08});
  // General MIDI System On, as a system-exclusive message.
  midi.Bytes(std::array<std::uint8_t, 8>{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
  return midi.Take();
}

// Bytes 4 to 7 of a SEP are its version 0 and the first record's number 0.
bool IsSep(std::span<const std::uint8_t> bytes) { return bytes.size() >= 8 && core::LoadU32Be(bytes, 4) == 0; }

// Unusual header values can form the end-of-track pattern inside the header; such a file is refused.
bool MarkerInHeader(std::span<const std::uint8_t> bytes) {
  const auto head = bytes.first(std::min(bytes.size(), SEQ_HEADER_SIZE + END_OF_TRACK_MARKER.size() - 1));
  return std::search(head.begin(), head.end(), END_OF_TRACK_MARKER.begin(), END_OF_TRACK_MARKER.end()) != head.end();
}

std::string DescribeStop(const SeqEventReader& reader) {
  const auto at = static_cast<unsigned long long>(reader.position());
  switch (reader.state()) {
    case SeqReadState::BadDelta:
      return core::FormatText("a delta time longer than four bytes at byte %llu", at);
    case SeqReadState::NoStatus:
      return core::FormatText("a data byte without a status at byte %llu", at);
    default:
      return core::FormatText("no end of track: the events stop at byte %llu", at);
  }
}

// Appends the SEQ's events in standard form, up to and including FF 2F 00; false (reason noted) when they
// stop before an end of track.
bool AppendStandardEvents(std::span<const std::uint8_t> seq, std::vector<std::uint8_t>& out) {
  SeqEventReader reader(seq, SEQ_HEADER_SIZE);
  SeqEvent event;
  // A Standard MIDI File carries no running status across a meta or system event; the inserted events
  // in front of the SEQ's are such events.
  bool statusNeeded = true;
  while (reader.Next(event)) {
    // The delta time as it stands.
    out.insert(out.end(), seq.begin() + static_cast<std::ptrdiff_t>(event.offset),
               seq.begin() + static_cast<std::ptrdiff_t>(event.statusOffset));
    switch (event.kind) {
      case SeqEventKind::Channel:
        if (!event.runningStatus || statusNeeded) out.push_back(event.status);
        out.insert(out.end(), event.data.begin(), event.data.begin() + event.dataCount);
        statusNeeded = false;
        break;
      case SeqEventKind::Tempo:
        out.insert(out.end(), {0xFF, 0x51, 0x03, event.data[0], event.data[1], event.data[2]});
        statusNeeded = true;
        break;
      case SeqEventKind::EndOfTrack:
      case SeqEventKind::TrackCut:
        out.insert(out.end(), {0xFF, 0x2F, 0x00});
        break;
    }
  }
  if (reader.state() != SeqReadState::Ended) {
    core::SetFailureReason(DescribeStop(reader));
    return false;
  }
  return true;
}

// Every byte of an open stream, read from its start.
std::vector<std::uint8_t> ReadStream(std::FILE* file) {
  if (!core::SeekFileStream(file, 0, SEEK_END)) return {};
  const std::int64_t size = core::TellFileStream(file);
  return core::ReadAll(file, static_cast<std::int32_t>(std::clamp<std::int64_t>(size, 0, INT32_MAX)))
      .value_or(std::vector<std::uint8_t>{});
}

}  // namespace

std::optional<std::vector<std::uint8_t>> MidiFromSeq(std::span<const std::uint8_t> seq) {
  if (IsSep(seq)) {
    core::SetFailureReason("a SEP file, not a SEQ: bytes 4 to 7 are zero");
    return std::nullopt;
  }
  if (MarkerInHeader(seq)) {
    core::SetFailureReason("the end-of-track marker 00 FF 2F 00 lies inside the 15-byte header");
    return std::nullopt;
  }
  if (seq.size() < SEQ_HEADER_SIZE) {
    core::SetFailureReason("shorter than the 15-byte SEQ header");
    return std::nullopt;
  }
  std::vector<std::uint8_t> midi = BuildMidiPrefix(seq, 0);
  midi.reserve(MIDI_PREFIX_SIZE + seq.size());  // most SEQs come out as long as they went in
  if (!AppendStandardEvents(seq, midi)) return std::nullopt;
  // A tempo grows by at most half in standard form, so only a SEQ of gigabytes could overflow the length.
  const std::size_t trackLength = midi.size() - (MIDI_PREFIX_SIZE - MIDI_INSERTED_EVENTS_SIZE);
  if (trackLength > UINT32_MAX) {
    core::SetFailureReason("too long for a MIDI track");
    return std::nullopt;
  }
  core::StoreU32Be(midi, MIDI_TRACK_LENGTH_OFFSET, static_cast<std::uint32_t>(trackLength));
  return midi;
}

int WriteMidiFromSeq(std::FILE* seqFile, const std::filesystem::path& target) {
  if (seqFile == nullptr) {
    core::SetFailureReason("no SEQ file");
    return 0;
  }
  const std::optional<std::vector<std::uint8_t>> midi = MidiFromSeq(ReadStream(seqFile));
  return midi && core::WriteWholeFile(target, *midi) ? 1 : 0;
}

int ConvertSeqToMidi(const std::filesystem::path& path) {
  const std::optional<std::vector<std::uint8_t>> seqBytes = core::LoadWholeFile(path);
  if (!seqBytes) {
    core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return 0;
  }
  const std::optional<std::vector<std::uint8_t>> midi = MidiFromSeq(*seqBytes);
  if (!midi) return 0;
  return core::WriteWholeFile(core::TextToPath(core::OutputNameBeside(core::PathToText(path), "mid")), *midi) ? 1 : 0;
}

}  // namespace seq
