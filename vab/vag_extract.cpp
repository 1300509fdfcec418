#include "vab/vag_extract.h"

#include <algorithm>
#include <string>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"
#include "vab/vab_io.h"

namespace vab {

namespace {

constexpr std::string_view VAG_MAGIC = "VAGp";
constexpr std::uint32_t VAG_VERSION = 0x20;
constexpr std::size_t VAG_VERSION_OFFSET = 4;
constexpr std::size_t VAG_DATA_SIZE_OFFSET = 12;
constexpr std::size_t VAG_SAMPLE_RATE_OFFSET = 16;
constexpr std::size_t VAG_NAME_OFFSET = 32;
constexpr std::size_t VAG_NAME_SIZE = 16;

}  // namespace

std::optional<std::vector<std::uint8_t>> MakeVagBytes(const VabBank& bank, int index, std::string_view name) {
  if (!bank.loaded) {
    core::SetFailureReason("no VAB loaded");
    return std::nullopt;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= std::min<std::size_t>(SampleCount(bank), bank.samples.size())) {
    core::SetFailureReason(core::FormatText("the bank has no sample %d", index));
    return std::nullopt;
  }
  const SampleEntry& sample = bank.samples[static_cast<std::size_t>(index)];
  if (sample.data.size() != sample.byteSize) {
    core::SetFailureReason(core::FormatText("the data of sample %d is not loaded", index));
    return std::nullopt;
  }

  std::vector<std::uint8_t> vag(VAG_HEADER_SIZE, 0);
  std::copy(VAG_MAGIC.begin(), VAG_MAGIC.end(), vag.begin());
  core::StoreU32Be(vag, VAG_VERSION_OFFSET, VAG_VERSION);
  core::StoreU32Be(vag, VAG_DATA_SIZE_OFFSET, sample.byteSize);
  core::StoreU32Be(vag, VAG_SAMPLE_RATE_OFFSET, sample.sampleRate);
  // The field has no terminator: a 16-byte name fills it, a longer one is cut.
  const std::string_view field = name.substr(0, VAG_NAME_SIZE);
  std::copy(field.begin(), field.end(), vag.begin() + VAG_NAME_OFFSET);
  vag.insert(vag.end(), sample.data.begin(), sample.data.end());
  return vag;
}

int ExtractVag(const VabBank& bank, const std::filesystem::path& vagPath, int index) {
  const auto vag = MakeVagBytes(bank, index, core::GetBaseName(core::PathToText(vagPath)));
  return vag && core::WriteWholeFile(vagPath, *vag) ? 1 : 0;
}

VagExtraction ExtractVagsBeside(VabBank& bank, const std::filesystem::path& vabPath) {
  VagExtraction result;
  const std::string input = core::PathToText(vabPath);
  const std::string directory = core::GetDirectoryPart(input);
  const std::string baseName = core::GetBaseName(input);
  if (!TryLoadVab(bank, vabPath)) {
    ReleaseBank(bank);
    return result;
  }

  result.loaded = true;
  std::string lastFailure;
  const int count = static_cast<int>(SampleCount(bank));
  result.sampleCount = count;
  for (int i = 0; i < count; ++i) {
    const std::filesystem::path vagPath = core::TextToPath(core::JoinNumberedOutputName(directory, baseName, i, "vag"));
    if (ExtractVag(bank, vagPath, i) == 1) {
      ++result.written;
    } else {
      lastFailure = core::FormatText("%s: %s", core::PathToText(vagPath).c_str(), core::TakeFailureReason().c_str());
    }
  }
  ReleaseBank(bank);
  if (!lastFailure.empty()) core::SetFailureReason(lastFailure);
  return result;
}

void ExtractAllVags(VabBank& bank, const std::filesystem::path& vabPath) { ExtractVagsBeside(bank, vabPath); }

}  // namespace vab
