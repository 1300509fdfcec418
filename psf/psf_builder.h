#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "psf/driver_info.h"
#include "psf/psf_tags.h"
#include "psf/ram_image.h"
#include "vab/vab_bank.h"

namespace psf {

// Where one parameter's name lies in the builder's parameterNameText.
struct ParameterName {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

// The builder state: the current driver's RAM image and what was read out of it, the bank used while
// placing VH/VB/VAB data, and the tag text of the next PSF. The application owns one; tests make their own.
// All fields but tagText mean something only while held is true.
struct PsfBuilder {
  vab::VabBank bank;                                               // empty when a driver is prepared
  RamImage image;                                                  // the current driver's RAM image
  std::array<std::uint8_t, MUTE_BLOCK_SIZE> muteCopy{};            // working copy of the MuteBlock
  std::array<std::uint8_t, PARAMETER_BLOCK_SIZE> parameterCopy{};  // ParameterBlock with defaults applied
  std::uint32_t parameterCount = 0;                                // entries in parameters
  std::array<std::uint8_t, DRIVER_INFO_SIZE> infoCopy{};           // DriverInfo block header as read
  std::vector<DriverParameter> parameters;                         // the driver's parameter list, in list order
  std::string parameterNameText;              // the parameters' names as read at loading, back to back, each
                                              // name address read once
  std::vector<ParameterName> parameterNames;  // each parameter's name within parameterNameText
  std::vector<std::pair<std::uint64_t, std::uint32_t>> parametersByName;  // (name hash, index), ordered
  TagList openedTags;  // tags of the PSF the driver was opened from; empty for the built-in driver
  std::vector<std::filesystem::path> inputs;  // files read into the build since loading
  std::vector<std::string> warnings;          // why placed data will not play; taken by
                                              // the front end (TakePlacementWarnings)
  std::optional<std::string> tagText;         // tag text of the next PSF; consumed when written
  bool held = false;                          // a driver is held
};

// Makes the built-in driver the builder's driver (a held driver is released first): image filled and header
// adjusted, driver-info block and parameter list read, defaults applied and written back, mute mask
// computed. False only if the image could not be prepared.
bool LoadBuiltinDriver(PsfBuilder& builder);

// Makes the driver carried in a PSF the builder's driver. False (reason noted) when the file cannot be opened
// or its program section not decoded (a held driver stays held), or when its program does not fit RAM, loads
// below 0x80010000 (a PSF written from it would be larger than a PSF reader takes), fails the signature check
// or has an unusable driver-info block or parameter list (the builder is empty).
bool LoadDriverFromPsf(PsfBuilder& builder, const std::filesystem::path& path);

// The same for a PSF held in memory.
bool LoadDriverFromPsfBytes(PsfBuilder& builder, std::span<const std::uint8_t> file);

// Makes a decoded PSF program (a PS-X EXE, such as the combined image of a song set) the builder's driver,
// with tags as the tags of the PSF it came from (library links among them are dropped). False (reason noted,
// builder empty) as for LoadDriverFromPsfBytes.
bool LoadDriverFromProgramImage(PsfBuilder& builder, std::vector<std::uint8_t>&& program, TagList tags);

// Frees what the builder holds for its driver (image, bank, copies, parameter list); the tag text stays.
// Loading a driver reuses the RAM buffer of the one it replaces (and a refused load keeps it for the next):
// only this frees it.
void ReleaseDriver(PsfBuilder& builder);

// The parameter's current value in the image, zero-extended; 0 with no driver or an index at or above
// parameterCount (0xFFFFFFFF, "no selection", included).
std::uint32_t GetParameter(const PsfBuilder& builder, std::uint32_t index);

// Writes the low-order width bytes of value at the parameter's address, refreshes muteCopy and re-applies the
// defaults to parameterCopy (the image keeps what was written, so a 0 stays 0 there while placement uses the
// default). Returns value, or 0 when nothing was written. The mute mask is not recomputed.
std::uint32_t SetParameter(PsfBuilder& builder, std::uint32_t value, std::uint32_t index);

// Refreshes parameterCopy from the image's ParameterBlock and puts the defaults in place of zero fields;
// the image is not written.
void ApplyParameterDefaults(PsfBuilder& builder);

// Recomputes the mute mask and enable word in muteCopy from its mute words and writes the MuteBlock back.
void UpdateMuteMask(PsfBuilder& builder);

// The longest parameter name read from a driver; the rest of a longer name is cut off. It bounds what a
// hostile driver-info block (65,535 entries with names as long as the image allows) can cost.
inline constexpr std::size_t PARAMETER_NAME_LIMIT = 255;

// The name of parameter index as read from the image when the driver was loaded (what the listing and the
// dialog show, whatever a later value written over the name's bytes did); "" for an index at or above
// parameterCount.
std::string GetParameterName(const PsfBuilder& builder, std::uint32_t index);

// The indices of the parameters named exactly name (case-sensitive, blanks included), in list order; empty
// when none is. Takes time logarithmic in the number of parameters, plus the parameters found.
std::vector<std::uint32_t> FindParameters(const PsfBuilder& builder, std::string_view name);

// The file the build read since its driver was loaded (the opened PSF, placed files) that is the same file as
// path, however spelled; nothing when there is none. An output written there would destroy its own input.
std::optional<std::filesystem::path> FindBuildInput(const PsfBuilder& builder, const std::filesystem::path& path);

// Notes that the build read path (the placements and the PSF load call it).
void RecordBuildInput(PsfBuilder& builder, const std::filesystem::path& path);

// The warnings noted by placements since the last call, oldest first; the builder's list is emptied.
std::vector<std::string> TakePlacementWarnings(PsfBuilder& builder);

// The name of the driver's table that size bytes at address would overwrite ("driver-info block", "parameter
// list", "mute block" or "parameter block"), or nullptr when they miss all four (or no driver is held).
const char* DriverTableAt(const PsfBuilder& builder, std::uint32_t address, std::uint64_t size);

}  // namespace psf
