#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "psf/ram_image.h"

namespace psf {

// Fixed PS addresses inside a driver's text.
inline constexpr std::uint32_t MAKER_NAME_ADDRESS = 0x80022130;       // "Quillmoss", NUL
inline constexpr std::uint32_t DRIVER_NAME_ADDRESS = 0x8002213C;      // "Lanternfieldquarrystone V.4.2.0", NUL
inline constexpr std::uint32_t EXECUTABLE_NAME_ADDRESS = 0x8002215C;  // "MAIN.EXE", NUL
inline constexpr std::uint32_t DRIVER_INFO_ADDRESS = 0x80022570;
inline constexpr std::uint32_t PARAMETER_LIST_ADDRESS = 0x800225BC;
inline constexpr std::string_view MAKER_NAME = "Quillmoss";
inline constexpr std::string_view DRIVER_NAME = "Lanternfieldquarrystone V.4.2.0";

// DriverInfo block header, 76 bytes at 0x80022570, u32 words:
//   +0x00  16  marker "PSF_DRIVER_INFO:" (no terminator)
//   +0x10   4  driver code address       +0x14  4  driver entry address
//   +0x18   4  address of the driver name text
//   +0x1C   4  address of the executable name
//   +0x20   4  checksum word             +0x24  4  patch address in the driver code
//   +0x28   8  song area 0: address, size (all RAM from the load address on)
//   +0x30   8  song area 1: MuteBlock
//   +0x38   8  song area 2: ParameterBlock
//   +0x40   8  song area 3: driver-private
//   +0x48   4  0, end of the song area list
// The builder reads only song areas 1 and 2, at their fixed offsets; the other words stay as they are.
inline constexpr std::size_t DRIVER_INFO_SIZE = 76;
inline constexpr std::size_t INFO_MUTE_AREA_OFFSET = 0x30;
inline constexpr std::size_t INFO_PARAMETER_AREA_OFFSET = 0x38;

// Parameter list at 0x800225BC: entries of three u32 words (name address, value address, width 1/2/4),
// ended by a name address of 0 and never longer than 65,535 entries.
inline constexpr std::size_t PARAMETER_ENTRY_SIZE = 12;
inline constexpr std::uint32_t PARAMETER_LIMIT = 65535;

// MuteBlock (song area 1), 72 bytes: 16 mute words (non-zero = muted), the enable word at +0x40, the mask
// at +0x44 (bit n set when channel n is muted).
inline constexpr std::size_t MUTE_BLOCK_SIZE = 72;
inline constexpr std::size_t MUTE_CHANNELS = 16;
inline constexpr std::size_t MUTE_ENABLE_OFFSET = 0x40;
inline constexpr std::size_t MUTE_MASK_OFFSET = 0x44;

// ParameterBlock (song area 2), 196 bytes. Fields the builder addresses by fixed offset:
inline constexpr std::size_t PARAMETER_BLOCK_SIZE = 196;
inline constexpr std::size_t SEQUENCE_ADDRESS_OFFSET = 0x00;  // u32 "SEQ/SEP/VAG Address"
inline constexpr std::size_t VH_ADDRESS_OFFSET = 0x04;        // u32 "VH Address"
inline constexpr std::size_t VB_ADDRESS_OFFSET = 0x08;        // u32 "VB Address"
inline constexpr std::size_t PLAYBACK_TYPE_OFFSET = 0x18;     // u32 "Playback Type"

// One (address, size) entry of the song area list.
struct SongArea {
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

// One entry of the parameter list; its list index (00 to 55 in the built-in driver) names it everywhere.
struct DriverParameter {
  std::uint32_t nameAddress = 0;
  std::uint32_t valueAddress = 0;
  std::uint32_t width = 0;  // 1, 2 or 4
};

// The decoded DriverInfo block header.
struct DriverInfo {
  std::array<char, 16> marker{};
  std::uint32_t codeAddress = 0;
  std::uint32_t entryAddress = 0;
  std::uint32_t driverNameAddress = 0;
  std::uint32_t executableNameAddress = 0;
  std::uint32_t checksum = 0;
  std::uint32_t patchAddress = 0;
  std::array<SongArea, 4> songAreas{};
};

// Decodes a 76-byte block header copy.
DriverInfo DecodeDriverInfo(std::span<const std::uint8_t, DRIVER_INFO_SIZE> block);

// True when the image holds "Quillmoss" at 0x80022130 and "Lanternfieldquarrystone V.4.2.0" at 0x8002213C,
// each exactly (a NUL inside either stretch fails). False for an image that is not loaded.
bool CheckDriverSignature(const RamImage& image);

}  // namespace psf
