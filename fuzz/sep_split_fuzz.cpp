// SEP scanning and splitting. A small model of the SEP layout (records of a 13-byte header and their data
// from offset 6, numbered from 0, ending at the first break in the numbering or the first record that runs
// past the end) gives the SEQ files expected. Properties: the in-memory split gives exactly the model's count
// and SEQ files (15-byte SEQ header of version 1 from the record's fields, then its data) and tells a cut
// record; the stream scan counts as the model does; for a share of the inputs, SEP to SEQ writes those same
// files, reports failure exactly when a record was cut, and leaves no temporary file.

#include "fuzz/fuzz_support.h"
#include "seq/sep_split.h"
#include "seq/seq_format.h"

namespace {

struct Model {
  std::int32_t count = 0;
  bool cut = false;  // the last record counted runs past the end
  std::vector<std::vector<std::uint8_t>> files;
};

Model SplitModel(std::span<const std::uint8_t> sep) {
  Model model;
  if (sep.size() < 8 || fuzz_support::LoadU32Be(sep, 4) != 0) return model;
  std::uint64_t offset = 6;
  for (std::uint32_t expected = 0; offset < sep.size(); ++expected) {
    std::array<std::uint8_t, 13> header{};
    for (std::size_t i = 0; i < header.size() && offset + i < sep.size(); ++i) header[i] = sep[offset + i];
    if (((header[0] << 8) | header[1]) != (expected & 0xFFFF)) break;
    const std::uint64_t dataSize = fuzz_support::LoadU32Be(header, 9);
    const std::uint64_t end = offset + 13 + dataSize;
    ++model.count;
    if (end > sep.size()) {
      model.cut = true;
      break;
    }
    std::vector<std::uint8_t> seq = {'p', 'Q', 'E', 'S', 0, 0, 0, 1};
    seq.insert(seq.end(), header.begin() + 2, header.begin() + 9);
    seq.insert(seq.end(), sep.begin() + static_cast<std::ptrdiff_t>(offset + 13),
               sep.begin() + static_cast<std::ptrdiff_t>(end));
    model.files.push_back(std::move(seq));
    offset = end;
  }
  return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const Model model = SplitModel(input);

  const std::optional<seq::SepSplit> split = seq::SplitSepBytes(input);
  FUZZ_CHECK(split.has_value() == (model.count > 0));
  if (split) {
    FUZZ_CHECK(split->count == model.count && split->cut == model.cut);
    FUZZ_CHECK(split->seqFiles == model.files);
  }
  const auto stream = fuzz_support::MemoryStream(input);
  std::int32_t count = -1;
  const std::int32_t scanned = seq::ScanSepSequences(stream.get(), count, nullptr);
  FUZZ_CHECK(scanned == model.count);
  FUZZ_CHECK(count == (model.count == 0 ? -1 : model.count));

  // The file form for one input length in four: it writes what the in-memory split made, and a refusal
  // leaves only the cut record unwritten (the complete ones before it stay) and no temporary file.
  if (size % 4 != 0) return 0;
  const auto& dir = fuzz_support::ScratchDir();
  dir.Clear();
  fuzz_support::WriteFile(dir / "b.sep", input);
  std::int32_t splitCount = -1;
  const bool written = seq::ConvertSepToSeq(dir / "b.sep", splitCount);
  FUZZ_CHECK(written == (split && !split->cut));
  FUZZ_CHECK(splitCount == (split ? split->count : 0));
  const std::vector<std::string> names = dir.Listing();
  FUZZ_CHECK(!fuzz_support::HoldsTemporaryFile(names));
  FUZZ_CHECK(names.size() == 1 + model.files.size());
  for (std::size_t i = 0; i < model.files.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "b%02zu.seq", i);
    FUZZ_CHECK(fuzz_support::ReadFile(dir / name) == model.files[i]);
  }
  return 0;
}
