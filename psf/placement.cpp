#include "psf/placement.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/text.h"
#include "psf/input_file.h"
#include "vab/vab_bank.h"
#include "vab/vab_io.h"

namespace psf {

namespace {

std::uint32_t ClearedSize(SongRegion region) {
  switch (region) {
    case SongRegion::Sequence:
      return SEQUENCE_REGION_SIZE;
    case SongRegion::Header:
      return HEADER_REGION_SIZE;
    case SongRegion::Body:
      return BODY_REGION_SIZE;
  }
  return 0;
}

const char* RegionName(SongRegion region) {
  switch (region) {
    case SongRegion::Sequence:
      return "sequence";
    case SongRegion::Header:
      return "VH";
    case SongRegion::Body:
      return "VB";
  }
  return "song";
}

bool RequireDriver(const PsfBuilder& builder) {
  if (builder.held && builder.image.loaded) return true;
  core::SetFailureReason("no driver loaded (MAKE or OPEN first)");
  return false;
}

// Whether length bytes fit at the region's address, together with the zeros that clear the region first when
// clears is set; notes why not. The PSF holds RAM from the driver's load address on, so bytes below it would
// be lost; bytes over the driver's tables would leave a PSF that no longer plays or opens.
bool FitsRegion(const PsfBuilder& builder, SongRegion region, std::size_t length, bool clears = true) {
  const std::uint32_t address = SongRegionAddress(builder, region);
  if (!RamOffset(address, length)) {
    core::SetFailureReason(core::FormatText("%zu bytes of %s data at 0x%08X would run past the end of the RAM image",
                                            length, RegionName(region), address));
    return false;
  }
  const std::uint32_t loadAddress = ImageLoadAddress(builder.image);
  if (address < loadAddress) {
    core::SetFailureReason(
        core::FormatText("%s data at 0x%08X would lie below the driver's load address 0x%08X, outside the PSF",
                         RegionName(region), address, loadAddress));
    return false;
  }
  const std::uint64_t written =
      std::min<std::uint64_t>(std::max<std::uint64_t>(length, clears ? ClearedSize(region) : 0), RAM_END - address);
  if (const char* table = DriverTableAt(builder, address, written)) {
    core::SetFailureReason(core::FormatText("%s data at 0x%08X (0x%llX bytes%s) would overwrite the driver's %s",
                                            RegionName(region), address, static_cast<unsigned long long>(written),
                                            clears ? " with its cleared region" : "", table));
    return false;
  }
  return true;
}

// Clears the region and copies data to its address; the caller has checked that the data fits.
void FillRegion(PsfBuilder& builder, SongRegion region, std::span<const std::uint8_t> data) {
  ClearSongRegion(builder, region);
  WriteBytesAt(builder.image, SongRegionAddress(builder, region), data);
}

// Notes the warnings about song data placed from path.
void NoteSongDataWarnings(PsfBuilder& builder, std::span<const std::uint8_t> data) {
  for (std::string& warning : SongDataWarnings(data)) builder.warnings.push_back(std::move(warning));
}

void NoteBankWarnings(PsfBuilder& builder) {
  for (std::string& warning : BankHeaderWarnings(builder.bank.header)) builder.warnings.push_back(std::move(warning));
}

bool StartsWith(std::span<const std::uint8_t> data, std::string_view signature) {
  return data.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), data.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// Refuses a bank placement: the bank is released, so a VB that follows finds no header.
bool RefuseBank(PsfBuilder& builder) {
  vab::ReleaseBank(builder.bank);
  return false;
}

}  // namespace

std::vector<std::string> SongDataWarnings(std::span<const std::uint8_t> data) {
  std::size_t limit = 0;
  if (StartsWith(data, "pQES")) {
    limit = SEQUENCE_READ_LIMIT;
  } else if (StartsWith(data, "VAGp")) {
    limit = VAG_READ_LIMIT;
  } else {
    return {"no SEQ, SEP or VAG signature (\"pQES\" or \"VAGp\"): the driver will not play it"};
  }
  if (data.size() <= limit) return {};
  return {core::FormatText("%zu bytes, of which the driver reads only the first %zu", data.size(), limit)};
}

std::vector<std::string> BankHeaderWarnings(std::span<const std::uint8_t> header) {
  if (StartsWith(header, "pBAV")) return {};
  return {"no \"pBAV\" signature: not a sound bank that will play"};
}

std::uint32_t SongRegionAddress(const PsfBuilder& builder, SongRegion region) {
  switch (region) {
    case SongRegion::Sequence:
      return core::LoadU32Le(builder.parameterCopy, SEQUENCE_ADDRESS_OFFSET);
    case SongRegion::Header:
      return core::LoadU32Le(builder.parameterCopy, VH_ADDRESS_OFFSET);
    case SongRegion::Body:
      return core::LoadU32Le(builder.parameterCopy, VB_ADDRESS_OFFSET);
  }
  return 0;
}

void ClearSongRegion(PsfBuilder& builder, SongRegion region) {
  if (!builder.held) return;
  const std::uint32_t address = SongRegionAddress(builder, region);
  const auto offset = RamOffset(address, 0);
  if (!offset) return;
  const std::size_t length = std::min<std::size_t>(ClearedSize(region), RAM_SIZE - *offset);  // cut at the end
  const auto bytes = RamBytes(builder.image, address, length);
  if (bytes) std::fill(bytes->begin(), bytes->end(), std::uint8_t{0});
}

bool PlaceFileAt(RamImage& image, const std::filesystem::path& path, std::uint32_t address) {
  if (!image.loaded) {
    core::SetFailureReason("no driver loaded (MAKE or OPEN first)");
    return false;
  }
  const auto data = LoadInputFile(path);
  if (!data) return false;
  return data->empty() || WriteBytesAt(image, address, *data) == data->size();
}

bool PlaceVagFile(PsfBuilder& builder, const std::filesystem::path& path) {
  if (!RequireDriver(builder)) return false;
  RecordBuildInput(builder, path);
  const auto data = LoadInputFile(path);
  if (!data) return false;
  if (!FitsRegion(builder, SongRegion::Sequence, data->size(), false)) return false;
  WriteBytesAt(builder.image, SongRegionAddress(builder, SongRegion::Sequence), *data);
  NoteSongDataWarnings(builder, *data);
  return true;
}

bool PlaceSequenceFile(PsfBuilder& builder, const std::filesystem::path& path) {
  if (!RequireDriver(builder)) return false;
  RecordBuildInput(builder, path);
  const auto data = LoadInputFile(path);
  if (!data) return false;
  if (!FitsRegion(builder, SongRegion::Sequence, data->size())) return false;
  FillRegion(builder, SongRegion::Sequence, *data);
  NoteSongDataWarnings(builder, *data);
  return true;
}

bool PlaceHeaderFile(PsfBuilder& builder, const std::filesystem::path& path) {
  if (!RequireDriver(builder)) return false;
  RecordBuildInput(builder, path);
  if (!CheckInputFile(path)) return false;
  if (builder.bank.loaded) vab::ReleaseBank(builder.bank);
  if (vab::LoadVh(builder.bank, path) == 0) return RefuseBank(builder);
  const auto header = vab::BuildVhImage(builder.bank);
  if (!header) {
    core::SetFailureReason("the VH could not be serialised");
    return RefuseBank(builder);
  }
  if (!FitsRegion(builder, SongRegion::Header, header->size())) return RefuseBank(builder);
  FillRegion(builder, SongRegion::Header, *header);
  NoteBankWarnings(builder);
  return true;  // the bank stays loaded for the VB
}

bool PlaceBodyFile(PsfBuilder& builder, const std::filesystem::path& path) {
  if (!RequireDriver(builder)) return false;
  RecordBuildInput(builder, path);
  if (!CheckInputFile(path)) return false;
  if (!builder.bank.loaded) {
    core::SetFailureReason("no VH placed before the VB");
    return false;
  }
  const auto taken = vab::TryLoadVb(builder.bank, path);
  bool placed = false;
  if (!taken) {
    placed = false;
  } else if (*taken == 0) {
    placed = true;  // a bank without sample data: nothing to place
  } else if (const auto body = vab::BuildVbImage(builder.bank); !body) {
    core::SetFailureReason("the VB could not be serialised");
  } else if (FitsRegion(builder, SongRegion::Body, body->size())) {
    FillRegion(builder, SongRegion::Body, *body);
    placed = true;
  }
  vab::ReleaseBank(builder.bank);
  return placed;
}

bool PlaceVabFile(PsfBuilder& builder, const std::filesystem::path& path) {
  if (!RequireDriver(builder)) return false;
  RecordBuildInput(builder, path);
  if (!CheckInputFile(path)) return false;
  if (builder.bank.loaded) vab::ReleaseBank(builder.bank);
  if (vab::LoadVab(builder.bank, path) == 0) return RefuseBank(builder);
  const auto header = vab::BuildVhImage(builder.bank);
  const auto body = vab::BuildVbImage(builder.bank);
  if (!header || !body) {
    core::SetFailureReason("the VAB could not be serialised");
    return RefuseBank(builder);
  }
  if (!FitsRegion(builder, SongRegion::Header, header->size()) ||
      !FitsRegion(builder, SongRegion::Body, body->size())) {
    return RefuseBank(builder);
  }
  FillRegion(builder, SongRegion::Header, *header);
  FillRegion(builder, SongRegion::Body, *body);
  NoteBankWarnings(builder);
  vab::ReleaseBank(builder.bank);
  return true;
}

}  // namespace psf
