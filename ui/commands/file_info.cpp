#include "ui/commands/file_info.h"

#include <algorithm>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/path_names.h"
#include "core/text.h"
#include "vab/vab_bank.h"

namespace ui {

namespace {

constexpr std::size_t VAG_DATA_SIZE_OFFSET = 12;
constexpr std::size_t VAG_RATE_OFFSET = 16;
// ADPCM blocks are read from here: players start at byte 48, and the last 16 header bytes are zero.
constexpr std::size_t VAG_BLOCKS_OFFSET = 48;
constexpr std::size_t ADPCM_BLOCK_SIZE = 16;
constexpr std::size_t SAMPLES_PER_BLOCK = 28;

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view magic) {
  return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

void AddNumber(InfoReport& report, std::string key, double number, std::string text) {
  report.facts.push_back({std::move(key), std::move(text), number});
}

void AddText(InfoReport& report, std::string key, std::string text) {
  report.facts.push_back({std::move(key), std::move(text), std::nullopt});
}

std::string LowerExtension(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return extension;
}

}  // namespace

bool AddBankFacts(InfoReport& report, std::span<const std::uint8_t> vh, std::optional<std::size_t> vbBytes,
                  std::string& reason) {
  vab::VabBank bank;
  core::TakeFailureReason();
  const std::optional<std::size_t> vhSize = vab::TryParseVh(bank, vh);
  if (!vhSize) {
    const std::string noted = core::TakeFailureReason();
    reason = noted.empty() ? "not a VH" : noted;
    return false;
  }
  std::size_t samplesSize = 0;
  for (std::uint32_t i = 0; i < vab::SampleCount(bank); ++i)
    samplesSize += vab::SAMPLE_UNIT * bank.samples[i].sizeUnits;
  AddText(report, "bank signature", StartsWith(vh, "pBAV") ? "pBAV" : "missing (no pBAV)");
  AddNumber(report, "VH size", static_cast<double>(*vhSize), core::FormatText("%zu bytes", *vhSize));
  AddNumber(report, "programs", vab::ProgramCount(bank), std::to_string(vab::ProgramCount(bank)));
  AddNumber(report, "tones", vab::ToneCount(bank), std::to_string(vab::ToneCount(bank)));
  AddNumber(report, "samples", vab::SampleCount(bank), std::to_string(vab::SampleCount(bank)));
  AddNumber(report, "VB size", static_cast<double>(samplesSize), core::FormatText("%zu bytes", samplesSize));
  if (vbBytes && *vbBytes < samplesSize) {
    AddText(report, "VB", core::FormatText("%zu bytes present: shorter than the samples", *vbBytes));
  }
  vab::ReleaseBank(bank);
  return true;
}

bool AddVagFacts(InfoReport& report, std::span<const std::uint8_t> vag, std::string& reason) {
  if (vag.size() < vab::VAG_HEADER_SIZE || !StartsWith(vag, "VAGp")) {
    reason = "not a VAG: no VAGp header";
    return false;
  }
  const std::uint32_t dataSize = core::LoadU32Be(vag, VAG_DATA_SIZE_OFFSET);
  const std::uint32_t rate = core::LoadU32Be(vag, VAG_RATE_OFFSET);
  // Blocks from byte 48 up to the end of the data the header declares, as far as the file holds them.
  const std::size_t end = std::min<std::size_t>(vag.size(), vab::VAG_HEADER_SIZE + std::size_t{dataSize});
  const std::size_t blocks = (end - VAG_BLOCKS_OFFSET) / ADPCM_BLOCK_SIZE;
  bool loops = false;
  for (std::size_t block = 0; block < blocks; ++block) {
    const std::uint8_t flags = vag[VAG_BLOCKS_OFFSET + ADPCM_BLOCK_SIZE * block + 1];
    // Loop end with repeat jumps back; flags 7 on its own is the silent block that ends every sample.
    loops = loops || ((flags & 3) == 3 && flags != 7);
  }
  AddNumber(report, "sample rate", rate, core::FormatText("%u Hz", rate));
  AddNumber(report, "data size", dataSize, core::FormatText("%u bytes", dataSize));
  AddNumber(report, "ADPCM blocks", static_cast<double>(blocks), std::to_string(blocks));
  if (rate != 0) {
    const double seconds = static_cast<double>(blocks * SAMPLES_PER_BLOCK) / rate;
    AddNumber(report, "duration", seconds, core::FormatText("%.3f s", seconds));
  }
  AddText(report, "loops", loops ? "yes" : "no");
  if (end - vab::VAG_HEADER_SIZE < dataSize) AddText(report, "data", "the file ends before the declared data size");
  return true;
}

std::optional<InfoReport> DescribeFile(const std::filesystem::path& path, std::string& reason) {
  core::TakeFailureReason();
  const std::optional<std::vector<std::uint8_t>> bytes = core::LoadWholeFile(path);
  if (!bytes) {
    reason = core::TakeFailureReason();
    if (reason.empty()) reason = "cannot read the file";
    return std::nullopt;
  }
  InfoReport report;
  report.file = core::PathToText(path);
  const std::string extension = LowerExtension(path);
  AddNumber(report, "file size", static_cast<double>(bytes->size()), core::FormatText("%zu bytes", bytes->size()));
  bool described = false;
  if (extension == ".vag" || StartsWith(*bytes, "VAGp")) {
    report.type = "vag";
    described = AddVagFacts(report, *bytes, reason);
  } else if (extension == ".vh" || extension == ".vab" || StartsWith(*bytes, "pBAV")) {
    report.type = extension == ".vh" ? "vh" : "vab";
    vab::VabBank probe;
    const std::size_t vhSize = vab::ParseVh(probe, *bytes);
    vab::ReleaseBank(probe);
    const std::optional<std::size_t> vbBytes =
        report.type == "vab" && vhSize != 0 ? std::optional<std::size_t>(bytes->size() - vhSize) : std::nullopt;
    described = AddBankFacts(report, *bytes, vbBytes, reason);
  } else {
    reason = "not a file --info knows (PSF, SEQ, SEP, VAB, VH, VAG)";
  }
  if (!described) return std::nullopt;
  return report;
}

}  // namespace ui
