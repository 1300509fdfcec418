#include "vab/vab_bank.h"

#include <algorithm>
#include <string>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/text.h"
#include "vab/pitch_table.h"

namespace vab {

namespace {

std::uint32_t HeaderCount(const VabBank& bank, std::size_t offset) { return core::LoadU16Le(bank.header, offset); }

// Where the size table starts in a VH with this many programs.
std::size_t SizeTableOffset(std::size_t programCount) { return TONE_TABLE_OFFSET + TONE_BLOCK_SIZE * programCount; }

}  // namespace

std::uint32_t ProgramCount(const VabBank& bank) { return HeaderCount(bank, VH_PROGRAM_COUNT_OFFSET); }
std::uint32_t ToneCount(const VabBank& bank) { return HeaderCount(bank, VH_TONE_COUNT_OFFSET); }
std::uint32_t SampleCount(const VabBank& bank) { return HeaderCount(bank, VH_SAMPLE_COUNT_OFFSET); }

std::optional<std::size_t> TryParseVh(VabBank& bank, std::span<const std::uint8_t> buffer) {
  ReleaseBank(bank);
  if (buffer.empty()) {
    core::SetFailureReason("VH is empty");
    return std::nullopt;
  }
  if (buffer.size() < VH_FIXED_SIZE) {
    core::SetFailureReason(
        core::FormatText("VH is truncated: %zu bytes, at least %zu needed", buffer.size(), VH_FIXED_SIZE));
    return std::nullopt;
  }
  const std::size_t programCount = core::LoadU16Le(buffer, VH_PROGRAM_COUNT_OFFSET);
  const std::size_t sampleCount = core::LoadU16Le(buffer, VH_SAMPLE_COUNT_OFFSET);
  if (programCount > PROGRAM_LIMIT) {
    core::SetFailureReason(
        core::FormatText("VH counts %zu programs, at most %zu fit a bank", programCount, PROGRAM_LIMIT));
    return std::nullopt;
  }
  if (sampleCount > SAMPLE_LIMIT) {
    core::SetFailureReason(
        core::FormatText("VH counts %zu samples, at most %zu fit a bank", sampleCount, SAMPLE_LIMIT));
    return std::nullopt;
  }
  const std::size_t vhSize = VhSize(programCount);
  if (buffer.size() < vhSize) {
    core::SetFailureReason(core::FormatText("VH is truncated: %zu bytes, %zu needed for %zu programs", buffer.size(),
                                            vhSize, programCount));
    return std::nullopt;
  }

  const auto header = buffer.subspan(0, VH_HEADER_SIZE);
  const auto programs = buffer.subspan(VH_HEADER_SIZE, PROGRAM_TABLE_SIZE);
  bank.header.assign(header.begin(), header.end());
  bank.programs.assign(programs.begin(), programs.end());
  bank.tones.assign(TONE_TABLE_SIZE, 0);
  const auto toneBlocks = buffer.subspan(TONE_TABLE_OFFSET, TONE_BLOCK_SIZE * programCount);
  std::copy(toneBlocks.begin(), toneBlocks.end(), bank.tones.begin());

  bank.samples.assign(SAMPLE_TABLE_ENTRIES, SampleEntry{});
  const std::size_t table = SizeTableOffset(programCount);
  for (std::size_t i = 0; i < sampleCount; ++i) {
    SampleEntry& sample = bank.samples[i];
    sample.sizeUnits = static_cast<std::uint16_t>(core::LoadU16Le(buffer, table + 2 + 2 * i));
    sample.byteSize = static_cast<std::uint32_t>(SAMPLE_UNIT * sample.sizeUnits);
  }
  bank.loaded = true;
  return vhSize;
}

std::size_t ParseVh(VabBank& bank, std::span<const std::uint8_t> buffer) {
  return TryParseVh(bank, buffer).value_or(0);
}

std::optional<std::size_t> TryParseVb(VabBank& bank, std::span<const std::uint8_t> buffer) {
  if (!bank.loaded) {
    core::SetFailureReason("no VH loaded before the VB");
    return std::nullopt;
  }
  const std::size_t count = std::min<std::size_t>(SampleCount(bank), bank.samples.size());
  std::size_t needed = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const SampleEntry& sample = bank.samples[i];
    if (sample.byteSize == 0) continue;
    if (!sample.data.empty()) {
      core::SetFailureReason("the bank already holds its VB");
      return std::nullopt;
    }
    needed += sample.byteSize;
  }
  if (buffer.size() < needed) {
    core::SetFailureReason(
        core::FormatText("VB is truncated: %zu bytes, %zu needed for the VH's samples", buffer.size(), needed));
    ReleaseBank(bank);
    return std::nullopt;
  }

  std::size_t offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    SampleEntry& sample = bank.samples[i];
    if (sample.byteSize == 0) continue;
    const auto bytes = buffer.subspan(offset, sample.byteSize);
    sample.data.reserve(bytes.size() + SampleEndBlock.size());
    sample.data.assign(bytes.begin(), bytes.end());
    sample.data.insert(sample.data.end(), SampleEndBlock.begin(), SampleEndBlock.end());
    offset += sample.byteSize;
    sample.byteSize += static_cast<std::uint32_t>(SampleEndBlock.size());
    sample.pitch = SamplePitch(bank, static_cast<int>(i));
    sample.sampleRate = SampleRateForPitch(sample.pitch);
  }
  return offset;
}

std::size_t ParseVb(VabBank& bank, std::span<const std::uint8_t> buffer) {
  return TryParseVb(bank, buffer).value_or(0);
}

std::uint16_t SamplePitch(const VabBank& bank, int index) {
  const std::size_t blocks = std::min<std::size_t>(ToneCount(bank), PROGRAM_LIMIT);
  std::size_t toneOffset = 0;  // tone 0 of block 0 when no tone plays the sample
  bool found = false;
  for (std::size_t block = 0; block < blocks && !found; ++block) {
    for (std::size_t tone = 0; tone < TONES_PER_PROGRAM; ++tone) {
      const std::size_t offset = block * TONE_BLOCK_SIZE + tone * TONE_RECORD_SIZE;
      const auto number = static_cast<std::int16_t>(core::LoadU16Le(bank.tones, offset + TONE_SAMPLE_NUMBER_OFFSET));
      if (number - 1 == index) {  // sample numbers count from 1; 0 names no sample
        toneOffset = offset;
        found = true;
        break;
      }
    }
  }
  // The tone plays the sample at its centre note; that pitch is the rate the sample was made for.
  return CentreNotePitch(core::LoadU8(bank.tones, toneOffset + TONE_FINE_TUNING_OFFSET));
}

void ReleaseBank(VabBank& bank) {
  // Swapping with fresh vectors hands the memory back, not just the contents.
  std::vector<std::uint8_t>().swap(bank.header);
  std::vector<std::uint8_t>().swap(bank.programs);
  std::vector<std::uint8_t>().swap(bank.tones);
  std::vector<SampleEntry>().swap(bank.samples);
  bank.loaded = false;
}

}  // namespace vab
