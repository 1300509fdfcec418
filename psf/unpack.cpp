#include "psf/unpack.h"

#include <algorithm>
#include <utility>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/text.h"
#include "psf/build_tags.h"
#include "psf/driver_info.h"
#include "psf/placement.h"
#include "psf/played_sequences.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf/ram_image.h"
#include "psf/song_settings.h"
#include "seq/seq_events.h"
#include "seq/seq_format.h"
#include "vab/vab_bank.h"
#include "vab/vab_io.h"

namespace psf {

namespace {

constexpr std::string_view INFO_MARKER = "PSF_DRIVER_INFO:";
constexpr std::uint32_t LOWEST_DATA_ADDRESS = 0x80010000;  // the driver takes no data from below its program
constexpr std::uint32_t VB_ADDRESS_DEFAULT = 0x80160000;
// A VAG's data size stands big-endian at +0x0C. The driver reads that much behind 64 bytes of header (16 more
// than a 48-byte header needs): the utility's own VAGs have a 64-byte header, others one of 48 bytes.
constexpr std::size_t VAG_HEADER_SIZE = 0x30;
constexpr std::size_t VAG_READ_HEADER_SIZE = 0x40;
constexpr std::size_t VAG_DATA_SIZE_OFFSET = 0x0C;
constexpr std::uint32_t LARGEST_DECIMAL_VALUE = 0xFFFF;  // larger values (addresses) are written in hexadecimal

enum class SongType { Seq, Sep, Vag };

struct SongPart {
  SongType type = SongType::Seq;
  std::span<const std::uint8_t> bytes;
};

// Everything the rebuild command does, in its order: tags, parameters, song, VH, VB.
struct Recipe {
  TagList tags;
  std::vector<std::pair<std::string, std::uint32_t>> parameters;  // name, value
  std::optional<SongPart> song;
  std::span<const std::uint8_t> vh;
  std::span<const std::uint8_t> vb;
  bool hasVh = false;
  bool hasVb = false;
};

// The driver's song areas and parameter list, read without changing the image.
struct DriverTables {
  SongArea mute;
  SongArea parameters;
  std::vector<DriverParameter> list;
};

std::optional<DriverTables> ReadDriverTables(const RamImage& image, std::string& reason) {
  const auto block = RamBytes(image, DRIVER_INFO_ADDRESS, DRIVER_INFO_SIZE);
  if (!block || !std::equal(INFO_MARKER.begin(), INFO_MARKER.end(), block->begin())) {
    reason = core::FormatText("no driver-info block (\"%s\" at 0x%08X): not a PSF of this driver",
                              std::string(INFO_MARKER).c_str(), DRIVER_INFO_ADDRESS);
    return std::nullopt;
  }
  const DriverInfo info = DecodeDriverInfo(block->first<DRIVER_INFO_SIZE>());
  DriverTables tables{info.songAreas[1], info.songAreas[2], {}};
  if (tables.mute.size > MUTE_BLOCK_SIZE || !RamOffset(tables.mute.address, tables.mute.size) ||
      tables.parameters.size > PARAMETER_BLOCK_SIZE || !RamOffset(tables.parameters.address, tables.parameters.size)) {
    reason = "the driver-info block's mute or parameter area is unusable";
    return std::nullopt;
  }
  for (std::uint32_t index = 0; index < PARAMETER_LIMIT; ++index) {
    const auto entry = RamBytes(image, PARAMETER_LIST_ADDRESS + PARAMETER_ENTRY_SIZE * index, PARAMETER_ENTRY_SIZE);
    if (!entry) break;
    const DriverParameter parameter{core::LoadU32Le(*entry, 0), core::LoadU32Le(*entry, 4), core::LoadU32Le(*entry, 8)};
    if (parameter.nameAddress == 0) break;
    const bool widthValid = parameter.width == 1 || parameter.width == 2 || parameter.width == 4;
    if (!widthValid || !RamOffset(parameter.valueAddress, parameter.width)) {
      reason = core::FormatText("driver parameter %02u is unusable", index);
      return std::nullopt;
    }
    tables.list.push_back(parameter);
  }
  return tables;
}

std::span<const std::uint8_t> AreaBytes(const RamImage& image, SongArea area) {
  const auto bytes = RamBytes(image, area.address, area.size);
  return bytes ? *bytes : std::span<const std::uint8_t>{};
}

// RAM from address to its end, or nothing when the driver would not take data from there.
std::optional<std::span<const std::uint8_t>> DataFrom(const RamImage& image, std::uint32_t address) {
  if (address < LOWEST_DATA_ADDRESS) return std::nullopt;
  return RamBytes(image, address, static_cast<std::size_t>(RAM_END - address));
}

bool AllZero(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::equal(text.begin(), text.end(), bytes.begin(), [](char a, std::uint8_t b) {
           return static_cast<std::uint8_t>(a) == b;
         });
}

// A SEQ up to its end of track and the length byte after it; nothing when no end lies in what the driver reads.
std::optional<std::size_t> SeqLength(std::span<const std::uint8_t> region) {
  seq::SeqEventReader reader(region, seq::SEQ_HEADER_SIZE);
  seq::SeqEvent event;
  bool endOfTrack = false;
  while (reader.Next(event)) endOfTrack = event.kind == seq::SeqEventKind::EndOfTrack;
  if (reader.state() != seq::SeqReadState::Ended) return std::nullopt;
  return std::min(reader.position() + (endOfTrack ? 1 : 0), region.size());
}

// The song at the sequence address, cut to its real length; a shortfall says why there is none.
std::optional<SongPart> TakeSong(const RamImage& image, std::uint32_t address, std::vector<std::string>& shortfalls) {
  const auto data = DataFrom(image, address);
  if (!data) {
    shortfalls.push_back(
        core::FormatText("the sequence address 0x%08X lies outside the RAM the driver reads: no song "
                         "taken",
                         address));
    return std::nullopt;
  }
  const auto region = data->first(std::min(data->size(), SEQUENCE_READ_SIZE));
  if (StartsWith(*data, "VAGp") && data->size() >= VAG_HEADER_SIZE) {
    const std::size_t length = VAG_READ_HEADER_SIZE + std::size_t{core::LoadU32Be(*data, VAG_DATA_SIZE_OFFSET)};
    if (length <= data->size()) return SongPart{SongType::Vag, data->first(length)};
    shortfalls.push_back(
        core::FormatText("the VAG at 0x%08X claims %zu bytes, more than RAM holds: no song taken", address, length));
    return std::nullopt;
  }
  if (StartsWith(*data, "pQES") && data->size() >= 16) {
    if (core::LoadU32Be(*data, 4) == 0) return SongPart{SongType::Sep, region.first(SepRecordsEnd(region))};
    if (const std::optional<std::size_t> length = SeqLength(region))
      return SongPart{SongType::Seq, region.first(*length)};
    shortfalls.push_back(
        core::FormatText("the SEQ at 0x%08X has no end of track in the %zu bytes the driver reads: no "
                         "song taken",
                         address, SEQUENCE_READ_SIZE));
    return std::nullopt;
  }
  shortfalls.push_back(AllZero(data->first(std::min<std::size_t>(data->size(), 16)))
                           ? core::FormatText("no song at 0x%08X", address)
                           : core::FormatText("no SEQ, SEP or VAG at 0x%08X: no song taken", address));
  return std::nullopt;
}

// The VH at its address and the VB its size table sizes; shortfalls say what is missing.
void TakeBank(const RamImage& image, std::uint32_t vhAddress, std::uint32_t vbAddress, Recipe& recipe,
              std::vector<std::string>& shortfalls) {
  const auto data = DataFrom(image, vhAddress);
  if (!data) {
    shortfalls.push_back(
        core::FormatText("the VH address 0x%08X lies outside the RAM the driver reads: no bank taken", vhAddress));
    return;
  }
  vab::VabBank bank;
  const std::optional<std::size_t> vhSize = vab::TryParseVh(bank, *data);
  if (!vhSize || AllZero(data->first(*vhSize))) {
    const std::string why = vhSize ? std::string("nothing there") : core::TakeFailureReason();
    shortfalls.push_back(core::FormatText("no VH at 0x%08X (%s): no bank taken", vhAddress, why.c_str()));
    vab::ReleaseBank(bank);
    return;
  }
  recipe.vh = data->first(*vhSize);
  recipe.hasVh = true;
  std::size_t vbSize = 0;
  for (std::size_t i = 0; i < std::min<std::size_t>(vab::SampleCount(bank), bank.samples.size()); ++i)
    vbSize += bank.samples[i].byteSize;
  vab::ReleaseBank(bank);
  if (vbSize == 0) return;  // a bank without sample data has no VB to place
  const auto vb = vbAddress >= LOWEST_DATA_ADDRESS ? RamBytes(image, vbAddress, vbSize) : std::nullopt;
  if (!vb) {
    shortfalls.push_back(
        core::FormatText("the %zu bytes of VB at 0x%08X do not lie in RAM: no VB taken", vbSize, vbAddress));
    return;
  }
  recipe.vb = *vb;
  recipe.hasVb = true;
}

// Every parameter whose value differs from the one MAKE leaves in the built-in driver, in list order.
void TakeParameters(const RamImage& image, const DriverTables& tables, const PsfBuilder& builtin, Recipe& recipe,
                    std::vector<std::string>& shortfalls) {
  for (std::size_t index = 0; index < tables.list.size(); ++index) {
    const DriverParameter& parameter = tables.list[index];
    const std::string name = ReadImageString(image, parameter.nameAddress);
    const std::uint32_t value = ReadImageValue(image, parameter.valueAddress, parameter.width);
    const bool named = std::any_of(recipe.parameters.begin(), recipe.parameters.end(),
                                   [&](const auto& set) { return set.first == name; });
    if (named) continue;
    const std::vector<std::uint32_t> builtinIndexes = FindParameters(builtin, name);
    if (builtinIndexes.empty()) {
      shortfalls.push_back(
          core::FormatText("parameter %02zu \"%s\" is not one of the built-in driver's: not set by the "
                           "command",
                           index, name.c_str()));
      continue;
    }
    if (value != GetParameter(builtin, builtinIndexes.front())) recipe.parameters.emplace_back(name, value);
  }
}

// The tags a TAG keyword can set: utf8 is written from the values themselves and library links name files
// of a set, so neither is named.
void TakeTags(const TagList& tags, Recipe& recipe, std::vector<std::string>& shortfalls) {
  for (const Tag& tag : tags) {
    if (tag.name == "utf8" || tag.name.starts_with("_lib")) continue;
    std::string reason;
    TagList probe;
    if (tag.name.find('\0') != std::string::npos || tag.value.find('\0') != std::string::npos) {
      reason = "it holds a NUL byte";
    } else if (SetTag(probe, tag.name, tag.value, reason)) {
      recipe.tags.push_back(tag);
      continue;
    }
    shortfalls.push_back(core::FormatText("tag \"%s\" not in the command: %s", tag.name.c_str(), reason.c_str()));
  }
  std::string reason;
  if (!FormatTagText(recipe.tags, reason)) {
    shortfalls.push_back("tags not in the command: " + reason);
    recipe.tags.clear();
  }
}

const char* SongExtension(SongType type) {
  switch (type) {
    case SongType::Seq:
      return "seq";
    case SongType::Sep:
      return "sep";
    case SongType::Vag:
      return "vag";
  }
  return "seq";
}

// A file name as a command operand: one that starts with '-' would read as an option.
std::string Operand(const std::string& fileName) { return fileName.starts_with('-') ? "./" + fileName : fileName; }

std::string ValueText(std::uint32_t value) {
  return value <= LARGEST_DECIMAL_VALUE ? core::FormatText("%u", value) : core::FormatText("0x%08X", value);
}

// Plays the recipe through a builder holding the built-in driver, the way the batch keywords do. False
// (shortfall noted) when a step would be refused.
bool Rebuild(const Recipe& recipe, PsfBuilder& builder, std::vector<std::string>& shortfalls) {
  for (const auto& [name, value] : recipe.parameters)
    for (const std::uint32_t index : FindParameters(builder, name)) SetParameter(builder, value, index);
  const auto place = [&](SongRegion region, std::span<const std::uint8_t> bytes, bool clear, const char* what) {
    if (!RamOffset(SongRegionAddress(builder, region), bytes.size())) {
      shortfalls.push_back(core::FormatText("the rebuild would refuse the %s: it would run past the end of RAM", what));
      return false;
    }
    if (clear) ClearSongRegion(builder, region);
    WriteBytesAt(builder.image, SongRegionAddress(builder, region), bytes);
    return true;
  };
  if (recipe.song && !place(SongRegion::Sequence, recipe.song->bytes, recipe.song->type != SongType::Vag, "song"))
    return false;
  if (!recipe.hasVh) return true;
  vab::VabBank bank;
  bool placed = vab::ParseVh(bank, recipe.vh) != 0;
  if (const auto header = placed ? vab::BuildVhImage(bank) : std::nullopt) {
    placed = place(SongRegion::Header, *header, true, "VH");
  }
  if (placed && recipe.hasVb && vab::ParseVb(bank, recipe.vb) != 0) {
    if (const auto body = vab::BuildVbImage(bank); body && !body->empty())
      placed = place(SongRegion::Body, *body, true, "VB");
  }
  vab::ReleaseBank(bank);
  return placed;
}

// Where a program image offset lies, in words.
std::string DescribeOffset(std::size_t offset, std::uint32_t loadAddress, const DriverTables& tables,
                           const SongSettings& settings, std::uint32_t vbAddress) {
  if (offset < PSX_EXE_HEADER_SIZE) return core::FormatText("byte 0x%zX of the EXE header", offset);
  const auto address = static_cast<std::uint32_t>(loadAddress + (offset - PSX_EXE_HEADER_SIZE));
  const auto within = [&](std::uint32_t start, std::uint64_t size) {
    return address >= start && address < start + size;
  };
  const char* where = "RAM";
  if (within(tables.parameters.address, tables.parameters.size)) {
    where = "the driver's parameter block";
  } else if (within(tables.mute.address, tables.mute.size)) {
    where = "the driver's mute block";
  } else if (within(settings.sequenceAddress, SEQUENCE_REGION_SIZE)) {
    where = "the sequence region";
  } else if (within(settings.vhAddress, HEADER_REGION_SIZE)) {
    where = "the VH region";
  } else if (within(vbAddress, BODY_REGION_SIZE)) {
    where = "the VB region";
  } else if (within(LOWEST_DATA_ADDRESS, 0x14000)) {
    where = "the driver's program";
  }
  return core::FormatText("0x%08X (%s)", address, where);
}

void CompareTags(const TagList& original, const TagList& rebuilt, std::vector<std::string>& shortfalls) {
  const auto comparable = [](const TagList& tags) {
    TagList kept;
    for (const Tag& tag : tags)
      if (tag.name != "utf8" && !tag.name.starts_with("_lib")) kept.push_back(tag);
    return kept;
  };
  const TagList before = comparable(original);
  const TagList after = comparable(rebuilt);
  for (const Tag& tag : after) {
    const std::optional<std::string> was = FindTag(before, tag.name);
    if (!was) {
      shortfalls.push_back(core::FormatText("the rebuilt PSF gets a tag \"%s=%s\" this PSF does not have",
                                            tag.name.c_str(), tag.value.c_str()));
    } else if (*was != tag.value) {
      shortfalls.push_back(core::FormatText("the rebuilt PSF's tag \"%s\" differs", tag.name.c_str()));
    }
  }
  for (const Tag& tag : before)
    if (!FindTag(after, tag.name))
      shortfalls.push_back(core::FormatText("the rebuilt PSF lacks the tag \"%s\"", tag.name.c_str()));
}

// How many bytes of two images of one size differ, and the offset of the first. Whole blocks are compared
// first: images of two megabytes mostly differ, if at all, in a few places.
std::pair<std::size_t, std::size_t> CountDifferingBytes(std::span<const std::uint8_t> a,
                                                        std::span<const std::uint8_t> b) {
  constexpr std::size_t BLOCK = 4096;
  std::size_t differing = 0;
  std::size_t first = a.size();
  for (std::size_t block = 0; block < a.size(); block += BLOCK) {
    const std::size_t end = std::min(a.size(), block + BLOCK);
    if (std::equal(a.begin() + block, a.begin() + end, b.begin() + block)) continue;
    for (std::size_t i = block; i < end; ++i) {
      if (a[i] == b[i]) continue;
      ++differing;
      first = std::min(first, i);
    }
  }
  return {differing, first};
}

}  // namespace

std::optional<UnpackedPsf> UnpackPsfProgram(std::span<const std::uint8_t> program, const TagList& tags,
                                            std::string_view name, std::string& reason) {
  RamImage image;
  core::TakeFailureReason();
  if (!LoadExeImage(image, program)) {
    reason = "its program does not load: " + core::TakeFailureReason();
    return std::nullopt;
  }
  const std::optional<DriverTables> tables = ReadDriverTables(image, reason);
  if (!tables) return std::nullopt;
  PsfBuilder builtin;
  if (!LoadBuiltinDriver(builtin)) {
    reason = "the built-in driver cannot be prepared";
    return std::nullopt;
  }

  UnpackedPsf result;
  Recipe recipe;
  const SongSettings settings =
      DecodeSongSettings(AreaBytes(image, tables->parameters), AreaBytes(image, tables->mute));
  const std::span<const std::uint8_t> parameterBlock = AreaBytes(image, tables->parameters);
  const std::uint32_t vbWord = core::LoadU32Le(parameterBlock, VB_ADDRESS_OFFSET);
  const std::uint32_t vbAddress = NormaliseRamAddress(vbWord != 0 ? vbWord : VB_ADDRESS_DEFAULT);
  TakeTags(tags, recipe, result.shortfalls);
  TakeParameters(image, *tables, builtin, recipe, result.shortfalls);
  recipe.song = TakeSong(image, settings.sequenceAddress, result.shortfalls);
  TakeBank(image, settings.vhAddress, vbAddress, recipe, result.shortfalls);

  const std::string base(name);
  std::vector<std::string>& command = result.command;
  command = {"lfqutil", "MAKE"};
  for (const Tag& tag : recipe.tags) command.insert(command.end(), {"TAG", tag.name, tag.value});
  if (!recipe.parameters.empty()) command.emplace_back("PARAM");
  for (const auto& [parameter, value] : recipe.parameters) command.insert(command.end(), {parameter, ValueText(value)});
  const auto addFile = [&](const char* keyword, const char* extension, std::span<const std::uint8_t> bytes) {
    UnpackedFile file{base + "." + extension, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
    command.insert(command.end(), {keyword, Operand(file.name)});
    result.files.push_back(std::move(file));
  };
  if (recipe.song)
    addFile(recipe.song->type == SongType::Vag ? "VAG" : "SEQ", SongExtension(recipe.song->type), recipe.song->bytes);
  if (recipe.hasVh) addFile("VH", "vh", recipe.vh);
  if (recipe.hasVb) addFile("VB", "vb", recipe.vb);
  command.insert(command.end(), {"OUT", Operand(base + ".psf")});
  const std::string line = FormatShellCommand(command) + "\n";
  result.files.push_back({base + ".cmd", std::vector<std::uint8_t>(line.begin(), line.end())});

  // What the command would build, against what the PSF holds. MAKE starts from the driver prepared above.
  PsfBuilder rebuilt = builtin;
  if (Rebuild(recipe, rebuilt, result.shortfalls)) {
    const std::vector<std::uint8_t> image2 = BuildProgramImage(rebuilt.image);
    if (image2.size() != program.size()) {
      result.shortfalls.push_back(core::FormatText("the rebuild's program image would be %zu bytes, this PSF's is %zu",
                                                   image2.size(), program.size()));
    } else if (!std::equal(image2.begin(), image2.end(), program.begin())) {
      const auto [differing, first] = CountDifferingBytes(image2, program);
      result.shortfalls.push_back(
          core::FormatText("the rebuild's program image would differ in %zu bytes, the first at %s", differing,
                           DescribeOffset(first, ImageLoadAddress(image), *tables, settings, vbAddress).c_str()));
    }
    std::string tagReason;
    const std::optional<std::string> text = ComposeTagText(rebuilt, recipe.tags, tagReason);
    if (text) CompareTags(tags, ParseTagText(*text), result.shortfalls);
  }
  return result;
}

std::string QuoteShellWord(std::string_view argument) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_-./:=+,@%").find(c) != std::string_view::npos;
  };
  // '=' before any other character is harmless; a leading one, or '~' and '#', would not be.
  if (!argument.empty() && argument.front() != '=' && std::all_of(argument.begin(), argument.end(), plain))
    return std::string(argument);
  std::string quoted = "'";
  for (const char c : argument) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string FormatShellCommand(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += QuoteShellWord(argument);
  }
  return line;
}

}  // namespace psf
