// VH, VB and VAB parsing, VAG extraction, split and combine. The input is a VAB (or a VH with whatever
// follows it). Properties: a parsed VH serialises to bytes that parse back to the same VH; a parsed VB is
// exactly the sample bytes it took; every sample of a parsed VAB makes a VAG in memory whose size matches its
// header and whose name field holds the name given; SPLIT in memory gives the serialised parts and COMBINE in
// memory joins them to a VAB that splits into them again; for one input in sixteen, extraction to files,
// SPLIT and COMBINE work exactly when the in-memory forms do, write the same bytes, and leave nothing after a
// refusal.

#include "fuzz/fuzz_support.h"
#include "vab/split_combine.h"
#include "vab/vab_bank.h"
#include "vab/vab_io.h"
#include "vab/vag_extract.h"

namespace {

using fuzz_support::LoadU32Be;

// The base name ExtractVagsBeside gives sample index of b.vab.
std::string VagName(std::uint32_t index) {
  return index < 10 ? "b0" + std::to_string(index) : "b" + std::to_string(index);
}

void CheckVagFile(const std::vector<std::uint8_t>& vag, const std::string& name) {
  FUZZ_CHECK(vag.size() >= vab::VAG_HEADER_SIZE);
  FUZZ_CHECK(std::equal(vag.begin(), vag.begin() + 4, "VAGp"));
  FUZZ_CHECK(vag.size() == vab::VAG_HEADER_SIZE + LoadU32Be(vag, 12));
  std::string field = name.substr(0, 16);
  field.resize(16, '\0');
  FUZZ_CHECK(std::equal(field.begin(), field.end(), vag.begin() + 32));
}

struct Parsed {
  std::vector<std::uint8_t> vh;                 // serialised VH of the bank
  std::vector<std::uint8_t> vb;                 // serialised VB; empty when the VB did not parse
  std::vector<std::vector<std::uint8_t>> vags;  // VAG of each sample, named as ExtractVagsBeside names them
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
  for (std::uint32_t i = 0; i < parsed.sampleCount; ++i) {
    const std::string name = VagName(i);
    const auto vag = vab::MakeVagBytes(bank, static_cast<int>(i), name);
    FUZZ_CHECK(vag.has_value());
    CheckVagFile(*vag, name);
    parsed.vags.push_back(*vag);
  }
  FUZZ_CHECK(!vab::MakeVagBytes(bank, static_cast<int>(parsed.sampleCount), "x"));
  FUZZ_CHECK(!vab::MakeVagBytes(bank, -1, "x"));
  return parsed;
}

}  // namespace

// SPLIT and COMBINE in memory: the parts are the serialised VH and VB; joining them gives a VAB that splits
// into the same parts again; joining the input (a VH with whatever follows) with the bytes behind its VH
// gives that same VAB.
void CheckSplitCombine(std::span<const std::uint8_t> input, const Parsed& parsed) {
  const std::optional<vab::VabParts> parts = vab::SplitVabBytes(input);
  FUZZ_CHECK(parts.has_value() == parsed.vabLoaded);
  if (!parts) return;
  FUZZ_CHECK(parts->vh == parsed.vh && parts->vb == parsed.vb);
  std::vector<std::uint8_t> joined = parsed.vh;
  joined.insert(joined.end(), parsed.vb.begin(), parsed.vb.end());
  FUZZ_CHECK(vab::CombineVabBytes(parts->vh, parts->vb) == joined);
  FUZZ_CHECK(vab::CombineVabBytes(input, input.subspan(parsed.vh.size())) == joined);
  const std::optional<vab::VabParts> again = vab::SplitVabBytes(joined);
  FUZZ_CHECK(again && again->vh == parts->vh && again->vb == parts->vb);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const Parsed parsed = ParseInMemory(input);
  CheckSplitCombine(input, parsed);
  // Files for one input in sixteen (file system calls are most of a file run's time; the first byte, which
  // chose before, is the 'p' of every VAB's magic): the in-memory forms stand for the rest.
  if (!fuzz_support::Sampled(input, 16)) return 0;

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
    // The input as a VH with an empty VB: COMBINE writes exactly when the in-memory join works.
    fuzz_support::WriteFile(dir / "e.vb", {});
    const bool joins = vab::CombineVabBytes(input, {}).has_value();
    FUZZ_CHECK(vab::CombineVab(bank, dir / "c.vab", dir / "b.vab", dir / "e.vb") == (joins ? 1 : 0));
    const std::vector<std::string> expected =
        joins ? std::vector<std::string>{"b.vab", "c.vab", "e.vb"} : std::vector<std::string>{"b.vab", "e.vb"};
    FUZZ_CHECK(dir.Listing() == expected);
    return 0;
  }
  FUZZ_CHECK(extraction.sampleCount == static_cast<int>(parsed.sampleCount));
  FUZZ_CHECK(extraction.written == extraction.sampleCount);
  FUZZ_CHECK(names.size() == 1 + static_cast<std::size_t>(extraction.written));
  for (std::uint32_t i = 0; i < parsed.sampleCount; ++i) {
    FUZZ_CHECK(fuzz_support::ReadFile(dir / (VagName(i) + ".vag")) == parsed.vags[i]);
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
