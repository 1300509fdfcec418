#include "vab/vab_io.h"

#include <algorithm>
#include <span>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"

namespace vab {

namespace {

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path) {
  std::optional<std::vector<std::uint8_t>> bytes = core::LoadWholeFile(path);
  if (!bytes) core::SetFailureReason(core::DescribeSystemError("cannot open"));
  return bytes;
}

std::size_t SampleSlots(const VabBank& bank) { return std::min<std::size_t>(SampleCount(bank), bank.samples.size()); }

// The size table as written: entry 0 zero, then the sizes of samples 0 to 254 (zero from sampleCount up).
void StoreSizeTable(const VabBank& bank, std::span<std::uint8_t> table) {
  std::fill(table.begin(), table.end(), std::uint8_t{0});
  const std::size_t count = SampleSlots(bank);
  for (std::size_t i = 0; i < count && i < SAMPLE_LIMIT; ++i) {
    core::StoreU16Le(table, 2 + 2 * i, bank.samples[i].sizeUnits);
  }
}

// A bank whose VH pieces have the sizes a parse gives them, so that nothing is copied from a short buffer.
bool HoldsVh(const VabBank& bank) {
  return bank.loaded && bank.header.size() == VH_HEADER_SIZE && bank.programs.size() == PROGRAM_TABLE_SIZE &&
         bank.tones.size() == TONE_TABLE_SIZE && bank.samples.size() == SAMPLE_TABLE_ENTRIES &&
         ProgramCount(bank) <= PROGRAM_LIMIT;
}

// The VB bytes of a sample as it was read: its data without the end block that parsing appended.
std::span<const std::uint8_t> SampleBody(const SampleEntry& sample) {
  return std::span<const std::uint8_t>(sample.data).first(sample.data.size() - SampleEndBlock.size());
}

// A bank that holds its VB: every non-empty sample carries its bytes and the end block parsing appended.
bool HoldsVb(const VabBank& bank) {
  if (!HoldsVh(bank)) return false;
  const std::size_t count = SampleSlots(bank);
  for (std::size_t i = 0; i < count; ++i) {
    const SampleEntry& sample = bank.samples[i];
    if (sample.byteSize == 0) continue;
    if (sample.data.size() != sample.byteSize || sample.data.size() < SampleEndBlock.size()) return false;
  }
  return true;
}

}  // namespace

std::optional<std::size_t> TryLoadVh(VabBank& bank, const std::filesystem::path& path) {
  const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return TryParseVh(bank, *bytes);
}

std::optional<std::size_t> TryLoadVb(VabBank& bank, const std::filesystem::path& path) {
  if (!bank.loaded) {
    core::SetFailureReason("no VH loaded before the VB");
    return std::nullopt;
  }
  const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return TryParseVb(bank, *bytes);
}

std::optional<std::size_t> TryLoadVab(VabBank& bank, const std::filesystem::path& path) {
  const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  const std::optional<std::size_t> vhSize = TryParseVh(bank, *bytes);
  if (!vhSize) return std::nullopt;
  const std::optional<std::size_t> vbSize = TryParseVb(bank, std::span<const std::uint8_t>(*bytes).subspan(*vhSize));
  if (!vbSize) return std::nullopt;
  return *vhSize + *vbSize;
}

std::size_t LoadVh(VabBank& bank, const std::filesystem::path& path) { return TryLoadVh(bank, path).value_or(0); }
std::size_t LoadVb(VabBank& bank, const std::filesystem::path& path) { return TryLoadVb(bank, path).value_or(0); }
std::size_t LoadVab(VabBank& bank, const std::filesystem::path& path) { return TryLoadVab(bank, path).value_or(0); }

std::size_t WriteVh(std::FILE* file, VabBank& bank) {
  if (!HoldsVh(bank)) {
    core::SetFailureReason("no VH loaded");
    return 0;
  }
  if (file == nullptr) {
    ReleaseBank(bank);
    return 0;
  }
  const std::optional<std::vector<std::uint8_t>> image = BuildVhImage(bank);
  core::WriteAt(file, 0, *image);
  return image->size();
}

std::size_t WriteVb(std::FILE* file, const VabBank& bank, std::size_t startOffset) {
  if (file == nullptr) return 0;
  const std::optional<std::vector<std::uint8_t>> image = BuildVbImage(bank);
  if (!image) {
    core::SetFailureReason("no VB loaded");
    return 0;
  }
  core::WriteAt(file, static_cast<std::int32_t>(startOffset), *image);
  return image->size();
}

std::size_t WriteVab(VabBank& bank, const std::filesystem::path& path) {
  if (!HoldsVb(bank)) {
    core::SetFailureReason(bank.loaded ? "the bank holds no VB" : "no VH loaded");
    return 0;
  }
  std::optional<core::OutputFile> output = core::OutputFile::Create(path);
  if (!output) return 0;
  const std::size_t vhSize = WriteVh(output->stream(), bank);
  const std::size_t vbSize = WriteVb(output->stream(), bank, vhSize);
  if (!output->Commit()) return 0;
  return vhSize + vbSize;
}

std::optional<std::vector<std::uint8_t>> BuildVhImage(const VabBank& bank) {
  if (!HoldsVh(bank)) return std::nullopt;
  const std::size_t programCount = ProgramCount(bank);
  std::vector<std::uint8_t> image(VhSize(programCount), 0);
  std::copy(bank.header.begin(), bank.header.end(), image.begin());
  std::copy(bank.programs.begin(), bank.programs.end(), image.begin() + VH_HEADER_SIZE);
  const std::size_t toneBytes = TONE_BLOCK_SIZE * programCount;
  std::copy_n(bank.tones.begin(), toneBytes, image.begin() + TONE_TABLE_OFFSET);
  StoreSizeTable(bank, std::span<std::uint8_t>(image).subspan(TONE_TABLE_OFFSET + toneBytes, SAMPLE_TABLE_SIZE));
  return image;
}

std::optional<std::vector<std::uint8_t>> BuildVbImage(const VabBank& bank) {
  if (!HoldsVb(bank)) return std::nullopt;
  std::vector<std::uint8_t> image;
  const std::size_t count = SampleSlots(bank);
  for (std::size_t i = 0; i < count; ++i) {
    const SampleEntry& sample = bank.samples[i];
    if (sample.byteSize == 0) continue;
    const auto body = SampleBody(sample);
    image.insert(image.end(), body.begin(), body.end());
  }
  return image;
}

}  // namespace vab
