#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "psf/psf_builder.h"
#include "psf/ram_image.h"

namespace psf {

// The song regions, each at the address held in the builder's parameterCopy:
//   sequence  +0x00 "SEQ/SEP/VAG Address"  default 0x800A0000 (0x80030000 for Playback Type 2)  256 KiB
//   header    +0x04 "VH Address"           default 0x800E0000                                   512 KiB
//   body      +0x08 "VB Address"           default 0x80160000                                   512 KiB
// The cleared size bounds nothing: a file or bank part is copied whole, also when it is longer.
enum class SongRegion { Sequence, Header, Body };

inline constexpr std::uint32_t SEQUENCE_REGION_SIZE = 0x40000;
inline constexpr std::uint32_t HEADER_REGION_SIZE = 0x80000;
inline constexpr std::uint32_t BODY_REGION_SIZE = 0x80000;

// The region's placement address from parameterCopy.
std::uint32_t SongRegionAddress(const PsfBuilder& builder, SongRegion region);

// Zeros the region's cleared size at its address; the fill is cut at the end of RAM and does nothing when
// the address lies outside RAM or no driver is held.
void ClearSongRegion(PsfBuilder& builder, SongRegion region);

// How much song data the driver reads at the sequence address: a SEQ or SEP within the sequence region; a
// VAG's 48-byte header and as much sample data as sound RAM holds beside the driver's silent block.
inline constexpr std::size_t SEQUENCE_READ_LIMIT = SEQUENCE_REGION_SIZE;
inline constexpr std::size_t VAG_READ_LIMIT = 0x30 + 0x80000 - 0x1010;

// Why the driver will not play song data (a SEQ, SEP or VAG file's bytes) placed at the sequence address: no
// "pQES" or "VAGp" signature, or more bytes than the driver reads. Empty when nothing stands in the way.
std::vector<std::string> SongDataWarnings(std::span<const std::uint8_t> data);

// Why the driver will not play a sound bank whose 32-byte VH header is header: no "pBAV" signature.
std::vector<std::string> BankHeaderWarnings(std::span<const std::uint8_t> header);

// Placements. Each returns true when it placed its data; on false the image is unchanged and the reason is
// noted (no driver held, file missing or unreadable, bank not loadable, VB without a VH placed before it,
// data that would run past the end of RAM). A copy that would run past RAM is refused whole, before anything
// is cleared. The front ends may ignore the result. The builder placements note each file they read as an
// input of the build (FindBuildInput) and, for data placed that will not play, warnings
// (TakePlacementWarnings).

// Copies the whole file into the image at address (the batch keyword VAG uses it with the sequence address).
bool PlaceFileAt(RamImage& image, const std::filesystem::path& path, std::uint32_t address);

// Copies the whole file (a VAG, or any song data) to the sequence address without clearing the sequence
// region first: the batch keyword VAG.
bool PlaceVagFile(PsfBuilder& builder, const std::filesystem::path& path);

// Clears the sequence region and copies the whole file (SEQ, SEP or VAG) to the sequence address.
bool PlaceSequenceFile(PsfBuilder& builder, const std::filesystem::path& path);

// Loads the VH into the builder's bank (releasing a loaded one), clears the header region and copies the
// serialised VH there. The bank stays loaded for a following PlaceBodyFile; a refused placement releases it.
bool PlaceHeaderFile(PsfBuilder& builder, const std::filesystem::path& path);

// Loads the VB into the bank of the header placed before it, clears the body region and copies the
// serialised sample data there; releases the bank in every case. A VB whose bank has no samples places
// nothing and still succeeds.
bool PlaceBodyFile(PsfBuilder& builder, const std::filesystem::path& path);

// Loads a whole VAB, places its VH and VB parts in the header and body regions, and releases the bank.
bool PlaceVabFile(PsfBuilder& builder, const std::filesystem::path& path);

}  // namespace psf
