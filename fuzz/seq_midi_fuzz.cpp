// SEQ to MIDI, from a stream and from a file. Properties: a SEP is refused; a written MIDI file is one
// format-0 track whose chunk length matches the file and which ends with the end-of-track event; the
// stream and file conversions give the same bytes; a refusal leaves nothing beside the input.

#include "fuzz/fuzz_support.h"
#include "seq/seq_format.h"
#include "seq/seq_to_midi.h"

namespace {

void CheckMidi(const std::vector<std::uint8_t>& midi) {
  FUZZ_CHECK(midi.size() >= 22 + 3);
  const std::uint8_t header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
  FUZZ_CHECK(std::equal(std::begin(header), std::end(header), midi.begin()));
  FUZZ_CHECK(std::equal(midi.begin() + 14, midi.begin() + 18, "MTrk"));
  FUZZ_CHECK(fuzz_support::LoadU32Be(midi, 18) == midi.size() - 22);
  FUZZ_CHECK(midi[midi.size() - 3] == 0xFF && midi[midi.size() - 2] == 0x2F && midi[midi.size() - 1] == 0x00);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto& dir = fuzz_support::ScratchDir();
  dir.Clear();

  const auto stream = fuzz_support::MemoryStream(input);
  const int fromStream = seq::WriteMidiFromSeq(stream.get(), dir / "stream.mid");
  const bool isSep = size >= 8 && fuzz_support::LoadU32Be(input, 4) == 0;
  if (isSep) FUZZ_CHECK(fromStream == 0);
  std::vector<std::uint8_t> midi;
  if (fromStream == 1) {
    midi = fuzz_support::ReadFile(dir / "stream.mid");
    CheckMidi(midi);
  }
  FUZZ_CHECK(dir.Listing() == (fromStream == 1 ? std::vector<std::string>{"stream.mid"} : std::vector<std::string>{}));

  dir.Clear();
  fuzz_support::WriteFile(dir / "song.seq", input);
  const int fromFile = seq::ConvertSeqToMidi(dir / "song.seq");
  FUZZ_CHECK(fromFile == fromStream);
  if (fromFile == 1) {
    FUZZ_CHECK(fuzz_support::ReadFile(dir / "song.mid") == midi);
  } else {
    FUZZ_CHECK(dir.Listing() == std::vector<std::string>{"song.seq"});
  }
  return 0;
}
