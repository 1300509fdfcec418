// VH, VB and VAB parsing, VAG extraction, split and combine. The input is a VAB (or a VH with whatever
// follows it). Properties: a parsed VH serialises to bytes that parse back to the same VH; a parsed VB is
// exactly the sample bytes it took; extraction, SPLIT and COMBINE work exactly when the VAB parses, write
// files whose sizes match their headers, give back the serialised parts, and leave nothing after a refusal.

#include "fuzz/fuzz_support.h"
#include "vab/split_combine.h"
#include "vab/vab_bank.h"
#include "vab/vab_io.h"
#include "vab/vag_extract.h"

namespace {

using fuzz_support::LoadU32Be;

struct Parsed {
  std::vector<std::uint8_t> vh;  // serialised VH of the bank
  std::vector<std::uint8_t> vb;  // serialised VB; empty when the VB did not parse
  std::uint32_t sampleCount = 0;
  bool vabLoaded = false;  // VH and VB both parsed
};

Parsed ParseInMemory(std::span<const std::uint8_t> input) {
  Parsed parsed;
  vab::VabBank bank;
  const auto vhSize = vab::TryParseVh(bank, input);
  if (!vhSize) {
    FUZZ_CHECK(!bank.loaded);
    return parsed;
  }
  FUZZ_CHECK(bank.loaded && *vhSize == vab::VhSize(vab::ProgramCount(bank)) && *vhSize <= input.size());
  parsed.sampleCount = vab::SampleCount(bank);
  parsed.vh = *vab::BuildVhImage(bank);
  FUZZ_CHECK(parsed.vh.size() == *vhSize);

  vab::VabBank again;
  FUZZ_CHECK(vab::TryParseVh(again, parsed.vh) == vhSize);
  FUZZ_CHECK(vab::BuildVhImage(again) == parsed.vh);

  const std::span<const std::uint8_t> body = input.subspan(*vhSize);
  const auto vbSize = vab::TryParseVb(bank, body);
  if (!vbSize) return parsed;
  FUZZ_CHECK(*vbSize <= body.size());
  parsed.vb = *vab::BuildVbImage(bank);
  FUZZ_CHECK(std::equal(parsed.vb.begin(), parsed.vb.end(), body.begin(), body.begin() + *vbSize));
  parsed.vabLoaded = true;
  return parsed;
}

void CheckVagFile(const std::vector<std::uint8_t>& vag) {
  FUZZ_CHECK(vag.size() >= vab::VAG_HEADER_SIZE);
  FUZZ_CHECK(std::equal(vag.begin(), vag.begin() + 4, "VAGp"));
  FUZZ_CHECK(vag.size() == vab::VAG_HEADER_SIZE + LoadU32Be(vag, 12));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const Parsed parsed = ParseInMemory(input);
  if (parsed.vh.empty() && size > 0 && data[0] % 4 != 0) return 0;  // most refused VHs: no files needed

  const auto& dir = fuzz_support::ScratchDir();
  dir.Clear();
  fuzz_support::WriteFile(dir / "b.vab", input);
  vab::VabBank bank;
  const vab::VagExtraction extraction = vab::ExtractVagsBeside(bank, dir / "b.vab");
  FUZZ_CHECK(extraction.loaded == parsed.vabLoaded);
  std::vector<std::string> names = dir.Listing();
  FUZZ_CHECK(!fuzz_support::HoldsTemporaryFile(names));
  if (!parsed.vabLoaded) {
    FUZZ_CHECK(names == std::vector<std::string>{"b.vab"});
    FUZZ_CHECK(vab::SplitVab(bank, dir / "b.vab") == 0);
    FUZZ_CHECK(dir.Listing() == std::vector<std::string>{"b.vab"});
    return 0;
  }
  FUZZ_CHECK(extraction.sampleCount == static_cast<int>(parsed.sampleCount));
  FUZZ_CHECK(extraction.written == extraction.sampleCount);
  FUZZ_CHECK(names.size() == 1 + static_cast<std::size_t>(extraction.written));
  for (const std::string& name : names) {
    if (name != "b.vab") CheckVagFile(fuzz_support::ReadFile(dir / name));
  }

  dir.Clear();
  fuzz_support::WriteFile(dir / "b.vab", input);
  FUZZ_CHECK(vab::SplitVab(bank, dir / "b.vab") == 1);
  FUZZ_CHECK(fuzz_support::ReadFile(dir / "b.vh") == parsed.vh);
  FUZZ_CHECK(fuzz_support::ReadFile(dir / "b.vb") == parsed.vb);
  FUZZ_CHECK(vab::CombineVab(bank, dir / "c.vab", dir / "b.vh", dir / "b.vb") == 1);
  std::vector<std::uint8_t> joined = parsed.vh;
  joined.insert(joined.end(), parsed.vb.begin(), parsed.vb.end());
  FUZZ_CHECK(fuzz_support::ReadFile(dir / "c.vab") == joined);
  FUZZ_CHECK(!bank.loaded);
  return 0;
}
