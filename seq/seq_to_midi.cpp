#include "seq/seq_to_midi.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "seq/seq_format.h"

namespace seq {

namespace {

std::vector<std::uint8_t> BuildMidiPrefix(std::span<const std::uint8_t> seqHeader, std::uint32_t eventDataLength) {
  core::ByteWriter midi;
  midi.Text("MThd");
  midi.U32Be(6);
  midi.U16Be(0);  // format 0
  midi.U16Be(1);  // one track
  midi.Bytes(seqHeader.subspan(8, 2));
  midi.Text("MTrk");
  midi.U32Be(eventDataLength + MIDI_INSERTED_EVENTS_SIZE);
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

}  // namespace

int WriteMidiFromSeq(std::FILE* seqFile, const std::filesystem::path& target) {
  if (seqFile == nullptr) {
    core::SetFailureReason("no SEQ file");
    return 0;
  }
  std::int32_t count = 0;
  if (ScanSepSequences(seqFile, count, nullptr) != 0) {
    core::SetFailureReason("a SEP file, not a SEQ: bytes 4 to 7 are zero");
    return 0;
  }
  const std::int32_t marker = FindEndOfTrack(seqFile);
  if (marker < 0) {
    core::SetFailureReason("no end-of-track marker 00 FF 2F 00");
    return 0;
  }
  // Only unusual header values can put the pattern there; the event data would be missing or cut.
  if (marker < static_cast<std::int32_t>(SEQ_HEADER_SIZE)) {
    core::SetFailureReason("the end-of-track marker 00 FF 2F 00 lies inside the 15-byte header");
    return 0;
  }
  std::array<std::uint8_t, SEQ_HEADER_SIZE> header{};
  core::ReadAt(seqFile, 0, header);
  const std::uint32_t eventDataLength =
      static_cast<std::uint32_t>(marker) + END_OF_TRACK_MARKER.size() - SEQ_HEADER_SIZE;

  std::optional<core::OutputFile> output = core::OutputFile::Create(target);
  if (!output) return 0;
  const std::vector<std::uint8_t> prefix = BuildMidiPrefix(header, eventDataLength);
  if (std::fwrite(prefix.data(), 1, prefix.size(), output->stream()) != prefix.size()) {
    core::SetFailureReason(core::DescribeSystemError("cannot write"));
    return 0;
  }
  if (!CopyFileRange(seqFile, SEQ_HEADER_SIZE, eventDataLength, output->stream())) {
    core::SetFailureReason("cannot copy the event data");
    return 0;
  }
  return output->Commit() ? 1 : 0;
}

int ConvertSeqToMidi(const std::filesystem::path& path) {
  core::FileHandle file = core::OpenFile(path, "rb");
  if (!file) {
    core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return 0;
  }
  return WriteMidiFromSeq(file.get(), core::TextToPath(core::OutputNameBeside(core::PathToText(path), "mid")));
}

}  // namespace seq
