#include "psf/psf_builder.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <utility>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/text.h"
#include "psf/input_file.h"
#include "psf/psf_file.h"
#include "vab/vab_bank.h"

namespace psf {

namespace {

struct FieldDefault {
  std::size_t offset;  // in the ParameterBlock
  std::size_t width;   // 2 or 4
  std::uint32_t value;
};

// Defaults put in place of zero fields of the ParameterBlock, in the order they are applied (the sequence
// address, whose default depends on the playback type, comes first and is handled on its own).
constexpr FieldDefault PARAMETER_DEFAULTS[] = {
    {0x04, 4, 0x800E0000},  // VH Address
    {0x08, 4, 0x80160000},  // VB Address
    {0x6C, 2, 127},         // Master Volume (L)
    {0x6E, 2, 127},         // Master Volume (R)
    {0x70, 2, 127},         // Reverb Volume (L)
    {0x72, 2, 127},         // Reverb Volume (R)
    {0x74, 2, 110},         // Sequence Volume (L)
    {0x76, 2, 110},         // Sequence Volume (R)
    {0x80, 4, 0},           // Reverb Mode: a default of 0 changes nothing
    {0x84, 2, 80},          // Reverb Depth (L)
    {0x86, 2, 80},          // Reverb Depth (R)
    {0x88, 4, 80},          // Reverb Delay
    {0x8C, 4, 80},          // Reverb Feedback
    {0x30, 4, 1},           // unnamed word the driver expects non-zero
    {0xB4, 4, 1},           // Sequence Tick Mode
    {0x3A, 2, 1},           // unnamed field the driver expects non-zero
    {0x3C, 2, 1},           // Sequence Amount
};
constexpr std::uint32_t SEQUENCE_ADDRESS_DEFAULT = 0x800A0000;
constexpr std::uint32_t SEQUENCE_ADDRESS_DEFAULT_VAG = 0x80030000;  // for Playback Type 2
constexpr std::uint32_t PLAYBACK_TYPE_VAG = 2;
constexpr std::uint32_t PLAYBACK_TYPE_PREPARED = 1;

std::uint32_t LoadField(std::span<const std::uint8_t> block, std::size_t offset, std::size_t width) {
  return width == 2 ? core::LoadU16Le(block, offset) : core::LoadU32Le(block, offset);
}

void StoreField(std::span<std::uint8_t> block, std::size_t offset, std::size_t width, std::uint32_t value) {
  if (width == 2) {
    core::StoreU16Le(block, offset, value);
  } else {
    core::StoreU32Le(block, offset, value);
  }
}

SongArea InfoArea(const PsfBuilder& builder, std::size_t offset) {
  return {core::LoadU32Le(builder.infoCopy, offset), core::LoadU32Le(builder.infoCopy, offset + 4)};
}
SongArea MuteArea(const PsfBuilder& builder) { return InfoArea(builder, INFO_MUTE_AREA_OFFSET); }
SongArea ParameterArea(const PsfBuilder& builder) { return InfoArea(builder, INFO_PARAMETER_AREA_OFFSET); }

// Copies the song area's bytes (at most copy.size()) from the image into copy; nothing when they lie outside.
void CopyAreaFromImage(const PsfBuilder& builder, SongArea area, std::span<std::uint8_t> copy) {
  const auto bytes = RamBytes(builder.image, area.address, std::min<std::size_t>(area.size, copy.size()));
  if (bytes) std::copy(bytes->begin(), bytes->end(), copy.begin());
}

void CopyAreaToImage(PsfBuilder& builder, SongArea area, std::span<const std::uint8_t> copy) {
  const auto bytes = RamBytes(builder.image, area.address, std::min<std::size_t>(area.size, copy.size()));
  if (bytes) std::copy_n(copy.begin(), bytes->size(), bytes->begin());
}

// Whether the byte ranges [a, a + aSize) and [b, b + bSize) share a byte.
bool RangesOverlap(std::uint64_t a, std::uint64_t aSize, std::uint64_t b, std::uint64_t bSize) {
  return a < b + bSize && b < a + aSize;
}

// The parameter list ends at the name word of its terminating entry: the rest of that entry may be other data.
std::uint64_t ParameterListSize(const PsfBuilder& builder) {
  return PARAMETER_ENTRY_SIZE * std::uint64_t{builder.parameterCount} + 4;
}

// Whether the driver-info block and the parameter list of a freshly filled image can be worked with: song
// areas 1 and 2 no larger than their blocks and inside RAM, every parameter's value inside RAM with width
// 1, 2 or 4, and none of them on the driver-info block or the parameter list. Notes the reason when not.
bool CheckDriverTables(const PsfBuilder& builder) {
  const SongArea mute = MuteArea(builder);
  const SongArea parameters = ParameterArea(builder);
  // Loading writes the parameter defaults and the mute mask, PARAM writes values: landing on the tables that
  // describe the driver, they would leave a PSF that no longer opens, or opens as another driver.
  const auto onTables = [&](std::uint32_t address, std::uint64_t size) {
    return RangesOverlap(address, size, DRIVER_INFO_ADDRESS, DRIVER_INFO_SIZE) ||
           RangesOverlap(address, size, PARAMETER_LIST_ADDRESS, ParameterListSize(builder));
  };
  constexpr const char* ON_TABLES = " (it lies on the driver-info block or the parameter list)";
  if (mute.size > MUTE_BLOCK_SIZE || !RamOffset(mute.address, mute.size) || onTables(mute.address, mute.size)) {
    core::SetFailureReason(core::FormatText("driver mute block (0x%X bytes at 0x%08X) is unusable%s", mute.size,
                                            mute.address, onTables(mute.address, mute.size) ? ON_TABLES : ""));
    return false;
  }
  if (parameters.size > PARAMETER_BLOCK_SIZE || !RamOffset(parameters.address, parameters.size) ||
      onTables(parameters.address, parameters.size)) {
    core::SetFailureReason(core::FormatText("driver parameter block (0x%X bytes at 0x%08X) is unusable%s",
                                            parameters.size, parameters.address,
                                            onTables(parameters.address, parameters.size) ? ON_TABLES : ""));
    return false;
  }
  // The mute block is read before the parameter defaults are written: sharing bytes, the two would read back
  // differently once the PSF is written.
  if (RangesOverlap(mute.address, mute.size, parameters.address, parameters.size)) {
    core::SetFailureReason(
        core::FormatText("driver mute block (0x%X bytes at 0x%08X) overlaps its parameter block "
                         "(0x%X bytes at 0x%08X)",
                         mute.size, mute.address, parameters.size, parameters.address));
    return false;
  }
  for (std::uint32_t index = 0; index < builder.parameterCount; ++index) {
    const DriverParameter& parameter = builder.parameters[index];
    const bool widthValid = parameter.width == 1 || parameter.width == 2 || parameter.width == 4;
    if (!widthValid || !RamOffset(parameter.valueAddress, parameter.width)) {
      core::SetFailureReason(core::FormatText("driver parameter %02u (width %u at 0x%08X) is unusable", index,
                                              parameter.width, parameter.valueAddress));
      return false;
    }
    if (onTables(parameter.valueAddress, parameter.width)) {
      core::SetFailureReason(core::FormatText("driver parameter %02u (width %u at 0x%08X) is unusable%s", index,
                                              parameter.width, parameter.valueAddress, ON_TABLES));
      return false;
    }
  }
  return true;
}

// The NUL-terminated text at address, at most PARAMETER_NAME_LIMIT bytes and never past the end of RAM.
std::string_view ReadParameterName(const RamImage& image, std::uint32_t address) {
  const auto offset = RamOffset(address, 0);
  if (!offset) return {};
  const auto bytes = RamBytes(image, address, std::min(PARAMETER_NAME_LIMIT, RAM_SIZE - *offset));
  if (!bytes) return {};
  const auto end = std::find(bytes->begin(), bytes->end(), std::uint8_t{0});
  return {reinterpret_cast<const char*>(bytes->data()), static_cast<std::size_t>(end - bytes->begin())};
}

std::uint64_t NameHash(std::string_view name) { return std::hash<std::string_view>{}(name); }

std::string_view NameOf(const PsfBuilder& builder, std::uint32_t index) {
  const ParameterName& name = builder.parameterNames[index];
  return std::string_view(builder.parameterNameText).substr(name.offset, name.length);
}

// The names and the by-name order are made once per load: PARAM looks names up for every later argument,
// and a driver from a PSF may list 65,535 parameters. Entries sharing a name address share its text.
void ReadParameterNames(PsfBuilder& builder) {
  builder.parameterNameText.clear();
  builder.parameterNames.assign(builder.parameters.size(), ParameterName{});
  builder.parametersByName.clear();
  builder.parametersByName.reserve(builder.parameters.size());
  std::unordered_map<std::uint32_t, std::pair<ParameterName, std::uint64_t>> byAddress;
  for (std::uint32_t index = 0; index < builder.parameters.size(); ++index) {
    const std::uint32_t address = builder.parameters[index].nameAddress;
    auto known = byAddress.find(address);
    if (known == byAddress.end()) {
      const std::string_view text = ReadParameterName(builder.image, address);
      const ParameterName name{static_cast<std::uint32_t>(builder.parameterNameText.size()),
                               static_cast<std::uint32_t>(text.size())};
      builder.parameterNameText.append(text);
      known = byAddress.emplace(address, std::pair{name, NameHash(text)}).first;
    }
    builder.parameterNames[index] = known->second.first;
    builder.parametersByName.emplace_back(known->second.second, index);
  }
  // A list whose entries all share one name is in order already, however long.
  if (!std::is_sorted(builder.parametersByName.begin(), builder.parametersByName.end()))
    std::sort(builder.parametersByName.begin(), builder.parametersByName.end());
}

void ReadParameterList(PsfBuilder& builder) {
  builder.parameters.clear();
  for (std::uint32_t index = 0; index < PARAMETER_LIMIT; ++index) {
    const auto entry =
        RamBytes(builder.image, PARAMETER_LIST_ADDRESS + PARAMETER_ENTRY_SIZE * index, PARAMETER_ENTRY_SIZE);
    if (!entry) break;
    const DriverParameter parameter{core::LoadU32Le(*entry, 0), core::LoadU32Le(*entry, 4), core::LoadU32Le(*entry, 8)};
    if (parameter.nameAddress == 0) break;
    builder.parameters.push_back(parameter);
  }
  builder.parameterCount = static_cast<std::uint32_t>(builder.parameters.size());
}

// Empties the driver state. The image's RAM buffer keeps its memory for the next load: replacing a driver
// then lays the new one into pages already in use.
void ClearDriverState(PsfBuilder& builder) {
  UnloadImage(builder.image);
  vab::ReleaseBank(builder.bank);
  builder.muteCopy.fill(0);
  builder.parameterCopy.fill(0);
  builder.infoCopy.fill(0);
  builder.parameters = {};
  builder.parameterNameText = {};
  builder.parameterNames = {};
  builder.parametersByName = {};
  builder.inputs = {};
  builder.openedTags = {};
  builder.warnings = {};
  builder.parameterCount = 0;
  builder.held = false;
}

// The common tail of both loads, on a filled image with its header adjusted. False (builder emptied) when
// the driver's tables cannot be worked with.
bool PrepareDriver(PsfBuilder& builder) {
  builder.held = true;
  vab::ReleaseBank(builder.bank);
  const auto info = RamBytes(builder.image, DRIVER_INFO_ADDRESS, DRIVER_INFO_SIZE);
  if (!info) {
    ClearDriverState(builder);
    core::SetFailureReason("driver-info block lies outside the RAM image");
    return false;
  }
  std::copy(info->begin(), info->end(), builder.infoCopy.begin());
  ReadParameterList(builder);
  if (!CheckDriverTables(builder)) {
    ClearDriverState(builder);
    return false;
  }
  ReadParameterNames(builder);

  builder.muteCopy.fill(0);
  CopyAreaFromImage(builder, MuteArea(builder), builder.muteCopy);

  builder.parameterCopy.fill(0);
  ApplyParameterDefaults(builder);
  core::StoreU32Le(builder.parameterCopy, PLAYBACK_TYPE_OFFSET, PLAYBACK_TYPE_PREPARED);
  CopyAreaToImage(builder, ParameterArea(builder), builder.parameterCopy);

  UpdateMuteMask(builder);
  return true;
}

// Makes the decoded program of a PSF the builder's driver, its buffer becoming the driver's RAM.
bool LoadDriverFromProgram(PsfBuilder& builder, std::vector<std::uint8_t>&& program) {
  if (builder.held) ClearDriverState(builder);
  if (!LoadExeImage(builder.image, std::move(program))) return false;
  if (ImageLoadAddress(builder.image) < LOWEST_DRIVER_LOAD_ADDRESS) {
    core::SetFailureReason(core::FormatText("driver loads at 0x%08X, below 0x%08X: its PSF would not read back",
                                            ImageLoadAddress(builder.image), LOWEST_DRIVER_LOAD_ADDRESS));
    UnloadImage(builder.image);
    return false;
  }
  AdjustLoadedHeader(builder.image);
  if (!CheckDriverSignature(builder.image)) {
    UnloadImage(builder.image);
    core::SetFailureReason(
        core::FormatText("not a %s %s driver", std::string(MAKER_NAME).c_str(), std::string(DRIVER_NAME).c_str()));
    return false;
  }
  return PrepareDriver(builder);
}

}  // namespace

bool LoadBuiltinDriver(PsfBuilder& builder) {
  if (builder.held) ClearDriverState(builder);
  if (!LoadEmbeddedImage(builder.image)) return false;
  AdjustLoadedHeader(builder.image);
  return PrepareDriver(builder);
}

bool LoadDriverFromPsf(PsfBuilder& builder, const std::filesystem::path& path) {
  const std::optional<std::vector<std::uint8_t>> file = core::LoadWholeFile(path);
  if (!file) {
    core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return false;
  }
  if (!LoadDriverFromPsfBytes(builder, *file)) return false;
  RecordBuildInput(builder, path);
  return true;
}

bool LoadDriverFromPsfBytes(PsfBuilder& builder, std::span<const std::uint8_t> file) {
  // The program is decoded into the RAM buffer of the held driver (or the one a refused load kept), then laid
  // out in place: no second 2 MiB. A PSF that does not decode leaves the buffer, and so the driver, as it was.
  std::vector<std::uint8_t> program = std::move(builder.image.ram);
  if (!DecodePsfProgramInto(file, program)) {
    builder.image.ram = std::move(program);
    // Only should zlib fail a stream its check passed is the buffer emptied: then no driver is left.
    if (builder.held && builder.image.ram.size() != RAM_SIZE) ClearDriverState(builder);
    return false;
  }
  const std::optional<std::string_view> text = FindTagText(file);
  return LoadDriverFromProgramImage(builder, std::move(program), text ? ParseTagText(*text) : TagList{});
}

bool LoadDriverFromProgramImage(PsfBuilder& builder, std::vector<std::uint8_t>&& program, TagList tags) {
  if (!LoadDriverFromProgram(builder, std::move(program))) return false;
  // The tags are the user's: a PSF written from this build keeps them. Library links name other files and
  // would load them over a whole image.
  builder.openedTags = std::move(tags);
  std::erase_if(builder.openedTags, [](const Tag& tag) { return tag.name.starts_with("_lib"); });
  return true;
}

void ReleaseDriver(PsfBuilder& builder) {
  if (builder.held) ClearDriverState(builder);
  builder.image.ram = {};  // the memory a refused load kept as well
}

std::uint32_t GetParameter(const PsfBuilder& builder, std::uint32_t index) {
  if (!builder.held || index >= builder.parameterCount || index >= builder.parameters.size()) return 0;
  const DriverParameter& parameter = builder.parameters[index];
  return ReadImageValue(builder.image, parameter.valueAddress, parameter.width);
}

std::uint32_t SetParameter(PsfBuilder& builder, std::uint32_t value, std::uint32_t index) {
  if (!builder.held || index >= builder.parameterCount || index >= builder.parameters.size()) return 0;
  const DriverParameter& parameter = builder.parameters[index];
  const auto target = RamBytes(builder.image, parameter.valueAddress, parameter.width);
  if (!target || parameter.width > 4) return 0;
  for (std::size_t i = 0; i < target->size(); ++i) (*target)[i] = static_cast<std::uint8_t>(value >> (8 * i));

  CopyAreaFromImage(builder, MuteArea(builder), builder.muteCopy);
  ApplyParameterDefaults(builder);
  return value;
}

void ApplyParameterDefaults(PsfBuilder& builder) {
  std::span<std::uint8_t> block(builder.parameterCopy);
  CopyAreaFromImage(builder, ParameterArea(builder), block);
  if (core::LoadU32Le(block, SEQUENCE_ADDRESS_OFFSET) == 0) {
    const bool vag = core::LoadU32Le(block, PLAYBACK_TYPE_OFFSET) == PLAYBACK_TYPE_VAG;
    core::StoreU32Le(block, SEQUENCE_ADDRESS_OFFSET, vag ? SEQUENCE_ADDRESS_DEFAULT_VAG : SEQUENCE_ADDRESS_DEFAULT);
  }
  for (const FieldDefault& field : PARAMETER_DEFAULTS) {
    if (LoadField(block, field.offset, field.width) == 0) StoreField(block, field.offset, field.width, field.value);
  }
}

void UpdateMuteMask(PsfBuilder& builder) {
  std::span<std::uint8_t> block(builder.muteCopy);
  std::uint32_t mask = 0;
  for (std::size_t channel = 0; channel < MUTE_CHANNELS; ++channel) {
    if (core::LoadU32Le(block, 4 * channel) != 0) {
      core::StoreU32Le(block, MUTE_ENABLE_OFFSET, 1);
      mask |= 1u << channel;
    }
  }
  core::StoreU32Le(block, MUTE_MASK_OFFSET, mask);
  CopyAreaToImage(builder, MuteArea(builder), block);
}

std::string GetParameterName(const PsfBuilder& builder, std::uint32_t index) {
  if (!builder.held || index >= builder.parameterCount || index >= builder.parameterNames.size()) return {};
  return std::string(NameOf(builder, index));
}

std::vector<std::uint32_t> FindParameters(const PsfBuilder& builder, std::string_view name) {
  std::vector<std::uint32_t> found;
  if (!builder.held) return found;
  const std::uint64_t hash = NameHash(name);
  // Ordered by hash, then index: the candidates come in list order.
  auto candidate = std::lower_bound(builder.parametersByName.begin(), builder.parametersByName.end(),
                                    std::pair<std::uint64_t, std::uint32_t>{hash, 0});
  for (; candidate != builder.parametersByName.end() && candidate->first == hash; ++candidate) {
    if (NameOf(builder, candidate->second) == name) found.push_back(candidate->second);
  }
  return found;
}

std::optional<std::filesystem::path> FindBuildInput(const PsfBuilder& builder, const std::filesystem::path& path) {
  for (const std::filesystem::path& input : builder.inputs) {
    if (core::IsSameFile(input, path)) return input;
  }
  return std::nullopt;
}

void RecordBuildInput(PsfBuilder& builder, const std::filesystem::path& path) {
  if (builder.held) builder.inputs.push_back(path);
}

std::vector<std::string> TakePlacementWarnings(PsfBuilder& builder) { return std::exchange(builder.warnings, {}); }

const char* DriverTableAt(const PsfBuilder& builder, std::uint32_t address, std::uint64_t size) {
  if (!builder.held || size == 0) return nullptr;
  const auto overlaps = [&](std::uint64_t start, std::uint64_t length) {
    return RangesOverlap(address, size, start, length);
  };
  if (overlaps(DRIVER_INFO_ADDRESS, DRIVER_INFO_SIZE)) return "driver-info block";
  if (overlaps(PARAMETER_LIST_ADDRESS, ParameterListSize(builder))) return "parameter list";
  if (overlaps(MuteArea(builder).address, MuteArea(builder).size)) return "mute block";
  if (overlaps(ParameterArea(builder).address, ParameterArea(builder).size)) return "parameter block";
  return nullptr;
}

}  // namespace psf
