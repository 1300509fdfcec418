#include "ui/commands/file_info.h"

#include <algorithm>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/driver_info.h"
#include "psf/placement.h"
#include "psf/ps_exe.h"
#include "psf/psf_file.h"
#include "psf/psf_set.h"
#include "psf/song_length.h"
#include "psf/song_settings.h"
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

// "0 1 9" for the channels whose bits are set.
std::string ChannelList(std::uint16_t channels) {
  std::string list;
  for (int channel = 0; channel < 16; ++channel) {
    if ((channels >> channel & 1) == 0) continue;
    if (!list.empty()) list += ' ';
    list += std::to_string(channel);
  }
  return list.empty() ? "none" : list;
}

std::string DescribeSequence(const psf::SequenceFigures& figures, double passSeconds) {
  std::string text = figures.fromSep ? core::FormatText("SEP record %u, ", figures.sepId) : std::string("SEQ, ");
  text +=
      core::FormatText("resolution %u, tempo %u us (%.1f bpm), %llu events, channels with notes: %s",
                       figures.resolution, figures.tempo, figures.tempo ? 60000000.0 / figures.tempo : 0.0,
                       static_cast<unsigned long long>(figures.events), ChannelList(figures.channelsWithNotes).c_str());
  if (!figures.passEnds.empty()) text += core::FormatText(", first pass %.2f s", passSeconds);
  for (const psf::LoopMark& loop : figures.loops) {
    text += core::FormatText(", loop ticks %llu-%llu ", static_cast<unsigned long long>(loop.startTick),
                             static_cast<unsigned long long>(loop.endTick));
    text += loop.endless ? std::string("endless") : core::FormatText("x%u", loop.count);
  }
  return text;
}

std::string SecondsList(const std::vector<double>& seconds) {
  std::string list;
  for (const double value : seconds) list += core::FormatText("%s%.2f", list.empty() ? "" : " ", value);
  return list;
}

// RAM of the builder's image from address to its end; empty when the address lies outside RAM.
std::span<const std::uint8_t> RamFrom(const psf::PsfBuilder& builder, std::uint32_t address) {
  const std::optional<std::size_t> offset = psf::RamOffset(address, 0);
  if (!offset) return {};
  return psf::RamBytes(builder.image, address, psf::RAM_SIZE - *offset).value_or(std::span<const std::uint8_t>());
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

void AddBuildFacts(InfoReport& report, const psf::PsfBuilder& builder, const psf::SongLimits& limits) {
  const psf::SongSettings settings = psf::ReadSongSettings(builder);
  const psf::SongLength length = psf::ComputeSongLength(builder, limits);
  const std::span<const std::uint8_t> songArea = RamFrom(builder, settings.sequenceAddress);
  switch (length.kind) {
    case psf::SongKind::None:
      AddText(report, "song", core::FormatText("nothing the driver plays at 0x%08X", settings.sequenceAddress));
      break;
    case psf::SongKind::Sequence:
      AddText(report, "song", core::FormatText("sequence at 0x%08X", settings.sequenceAddress));
      for (std::size_t slot = 0; slot < length.sequences.size(); ++slot) {
        AddText(report, core::FormatText("sequence %zu", slot + 1),
                DescribeSequence(length.sequences[slot], length.passSeconds));
      }
      if (length.sequences.size() == 1 && length.sequences[0].fromSep) {
        std::string records;
        for (const psf::SepRecordLength& record : psf::ComputeSepRecordLengths(settings, songArea, {}, limits)) {
          records +=
              core::FormatText("%sid %u: %.2f s", records.empty() ? "" : ", ", record.id, record.length.passSeconds);
        }
        AddText(report, "SEP sequences (one pass each)", records);
      }
      break;
    case psf::SongKind::Vag: {
      AddText(report, "song", core::FormatText("VAG at 0x%08X", settings.sequenceAddress));
      std::string ignored;
      AddVagFacts(report, songArea, ignored);
      break;
    }
  }
  if (length.kind != psf::SongKind::None) {
    AddNumber(report, "first pass", length.passSeconds, core::FormatText("%.2f s", length.passSeconds));
    AddText(report, "pass ends", SecondsList(length.passEnds) + " s");
    AddText(report, "plays", length.endless ? "without end" : "to an end");
  }
  std::string bankReason;
  const std::size_t factsBefore = report.facts.size();
  if (!AddBankFacts(report, RamFrom(builder, settings.vhAddress), std::nullopt, bankReason)) {
    report.facts.resize(factsBefore);
    AddText(report, "bank", core::FormatText("none at 0x%08X (%s)", settings.vhAddress, bankReason.c_str()));
  }
  report.lengthSeconds = length.lengthSeconds;
  report.fadeSeconds = length.fadeSeconds;
}

namespace {

// The facts of a PSF's own program and its tags; false (reason set) when the program does not decode.
bool AddPsfProgramFacts(InfoReport& report, std::span<const std::uint8_t> psfBytes, std::string& reason) {
  core::TakeFailureReason();
  const std::optional<std::vector<std::uint8_t>> program = psf::DecodePsfProgram(psfBytes);
  if (!program) {
    reason = core::TakeFailureReason();
    return false;
  }
  if (const std::optional<std::string_view> tagText = psf::FindTagText(psfBytes)) {
    report.tags = psf::ParseTagText(*tagText);
  }
  AddNumber(report, "program size", static_cast<double>(program->size()),
            core::FormatText("%zu bytes", program->size()));
  if (program->size() >= psf::PSX_EXE_HEADER_SIZE) {
    const std::uint32_t loadAddress = core::LoadU32Le(*program, psf::EXE_T_ADDR_OFFSET);
    AddText(report, "load address", core::FormatText("0x%08X", loadAddress));
  }
  return true;
}

// The driver, its parameters against the built-in driver's, and the build facts of a loaded builder, or the
// reason it is not this utility's driver. The builder is released.
void AddDriverFacts(InfoReport& report, psf::PsfBuilder& builder, bool loaded, const psf::SongLimits& limits = {}) {
  if (!loaded) {
    const std::string noted = core::TakeFailureReason();
    AddText(report, "driver", "not this utility's driver (" + noted + ")");
    return;
  }
  AddText(report, "driver", psf::ReadImageString(builder.image, psf::DRIVER_NAME_ADDRESS));
  psf::PsfBuilder builtin;
  const bool builtinHeld = psf::LoadBuiltinDriver(builtin);
  for (std::uint32_t index = 0; index < builder.parameterCount; ++index) {
    InfoParameter parameter{index, psf::GetParameterName(builder, index), builder.parameters[index].width,
                            psf::GetParameter(builder, index), 0};
    parameter.defaultValue = parameter.value;
    for (std::uint32_t k = 0; builtinHeld && k < builtin.parameterCount; ++k) {
      if (psf::GetParameterName(builtin, k) == parameter.name) parameter.defaultValue = psf::GetParameter(builtin, k);
    }
    report.parameters.push_back(std::move(parameter));
  }
  psf::ReleaseDriver(builtin);
  AddBuildFacts(report, builder, limits);
  psf::ReleaseDriver(builder);
}

}  // namespace

bool AddPsfFacts(InfoReport& report, std::span<const std::uint8_t> psfBytes, std::string& reason,
                 const psf::SongLimits& limits) {
  if (!AddPsfProgramFacts(report, psfBytes, reason)) return false;
  psf::PsfBuilder builder;
  const bool loaded = psf::LoadDriverFromPsfBytes(builder, psfBytes);
  AddDriverFacts(report, builder, loaded, limits);
  return true;
}

bool AddPsfSetFacts(InfoReport& report, const std::filesystem::path& path, std::span<const std::uint8_t> psfBytes,
                    std::string& reason) {
  if (!AddPsfProgramFacts(report, psfBytes, reason)) return false;
  if (!psf::NamesPsfLibrary(report.tags)) {
    psf::PsfBuilder builder;
    const bool loaded = psf::LoadDriverFromPsfBytes(builder, psfBytes);
    AddDriverFacts(report, builder, loaded);
    return true;
  }
  core::TakeFailureReason();
  std::optional<psf::PsfSet> set = psf::LoadPsfSetFile(path);
  if (!set) {
    reason = "cannot load its set: " + core::TakeFailureReason();
    return false;
  }
  std::string files;
  for (const std::filesystem::path& file : set->files) files += (files.empty() ? "" : ", ") + core::PathToText(file);
  AddText(report, "set files", files);
  AddNumber(report, "set program size", static_cast<double>(set->program.size()),
            core::FormatText("%zu bytes", set->program.size()));
  psf::PsfBuilder builder;
  const bool loaded = psf::LoadDriverFromProgramImage(builder, std::move(set->program), report.tags);
  AddDriverFacts(report, builder, loaded);
  return true;
}

bool AddSequenceFacts(InfoReport& report, std::span<const std::uint8_t> sequence, std::string& reason,
                      const psf::SongLimits& limits) {
  if (!StartsWith(sequence, "pQES")) {
    reason = "not a SEQ or SEP: no pQES signature";
    return false;
  }
  const bool sep = sequence.size() >= 8 && core::LoadU32Be(sequence, 4) == 0;
  report.type = sep ? "sep" : "seq";
  // Played as the built-in driver plays it with its default parameters.
  psf::PsfBuilder builder;
  if (!psf::LoadBuiltinDriver(builder)) {
    reason = "cannot prepare the built-in driver";
    return false;
  }
  const std::uint32_t address = psf::SongRegionAddress(builder, psf::SongRegion::Sequence);
  const std::size_t placed = std::min<std::size_t>(sequence.size(), psf::SEQUENCE_REGION_SIZE);
  psf::WriteBytesAt(builder.image, address, sequence.first(placed));
  AddBuildFacts(report, builder, limits);
  std::erase_if(report.facts, [](const InfoFact& fact) { return fact.key == "bank"; });
  psf::ReleaseDriver(builder);
  return true;
}

std::optional<InfoReport> DescribeFile(const std::filesystem::path& path, std::string& reason) {
  core::TakeFailureReason();
  const std::optional<std::vector<std::uint8_t>> bytes = core::LoadWholeFile(path);
  if (!bytes) {
    reason = core::DescribeSystemError("cannot open");
    return std::nullopt;
  }
  InfoReport report;
  report.file = core::PathToText(path);
  const std::string extension = LowerExtension(path);
  AddNumber(report, "file size", static_cast<double>(bytes->size()), core::FormatText("%zu bytes", bytes->size()));
  bool described = false;
  if (extension == ".psf" || extension == ".minipsf" || extension == ".psflib" || StartsWith(*bytes, "PSF")) {
    report.type = extension == ".minipsf" ? "minipsf" : extension == ".psflib" ? "psflib" : "psf";
    described = AddPsfSetFacts(report, path, *bytes, reason);
  } else if (extension == ".seq" || extension == ".sep" || StartsWith(*bytes, "pQES")) {
    described = AddSequenceFacts(report, *bytes, reason);
  } else if (extension == ".vag" || StartsWith(*bytes, "VAGp")) {
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
