#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "psf/ps_exe.h"

namespace psf {

// PlayStation main RAM 0x80000000-0x801FFFFF; the byte of PS address A is ram[A - 0x80000000].
inline constexpr std::uint32_t RAM_BASE = 0x80000000;
inline constexpr std::size_t RAM_SIZE = 0x200000;
inline constexpr std::uint64_t RAM_END = RAM_BASE + static_cast<std::uint64_t>(RAM_SIZE);  // 0x80200000

// Longest text ReadImageString yields.
inline constexpr std::size_t IMAGE_STRING_LIMIT = 65535;

// A driver laid into PlayStation RAM. Every operation on an image that is not loaded does nothing.
struct RamImage {
  std::array<std::uint8_t, KEPT_HEADER_SIZE> header{};  // first 132 header bytes, as adjusted after loading
  std::vector<std::uint8_t> ram;                        // RAM_SIZE bytes while loaded, empty otherwise
  bool loaded = false;
};

// The one address check of the image: the offset in ram of length bytes at PS address, or nothing when any
// of them lies outside 0x80000000-0x801FFFFF.
std::optional<std::size_t> RamOffset(std::uint32_t address, std::size_t length);

// The length bytes at address, or nothing when the image is not loaded or they do not lie wholly in RAM.
std::optional<std::span<std::uint8_t>> RamBytes(RamImage& image, std::uint32_t address, std::size_t length);
std::optional<std::span<const std::uint8_t>> RamBytes(const RamImage& image, std::uint32_t address, std::size_t length);

// Empties the image (not loaded, header zeroed). The RAM buffer keeps its memory, so the next load into
// the image lays its 2 MiB into pages already in use.
void UnloadImage(RamImage& image);

// Fills image from the built-in driver: the first 132 header bytes, RAM zeroed, t_size text bytes laid at
// t_addr; loaded. False (image not loaded) only if the built-in header does not place its text in RAM.
bool LoadEmbeddedImage(RamImage& image);

// Fills image from a PS-X EXE held in memory: header from its first 132 bytes, text from byte 2048 on, into
// the image's own RAM buffer. The magic is not checked. Refused (false, image not loaded, reason noted) when the EXE is
// shorter than 2048 + t_size bytes or its text does not fit RAM (t_addr below 0x80000000 or t_addr - 0x80000000 +
// t_size above 0x200000).
bool LoadExeImage(RamImage& image, std::span<const std::uint8_t> exe);

// The same, taking over the EXE's buffer as the image's RAM (no second 2 MiB for a decoded PSF program); a
// refused EXE leaves the buffer with the image, emptied, for the next load.
bool LoadExeImage(RamImage& image, std::vector<std::uint8_t>&& exe);

// Marks a freshly loaded header as a builder image: t_size = 0x801FFFF0 - t_addr (0x001EFFF0 for a text at
// 0x80010000), so that it declares the RAM a PSF of the image carries; word 0x34 = 0x801FFFF0.
void AdjustLoadedHeader(RamImage& image);

// The load address t_addr from the kept header.
std::uint32_t ImageLoadAddress(const RamImage& image);

// The NUL-terminated text at address: at most 65,535 bytes and never past the end of RAM; "" when the image
// is not loaded, the address lies outside RAM or a NUL stands there.
std::string ReadImageString(const RamImage& image, std::uint32_t address);

// Copies bytes into the image at address. Returns bytes.size(); 0 without writing anything when the image is
// not loaded or the bytes would not lie wholly inside RAM (reason noted).
std::size_t WriteBytesAt(RamImage& image, std::uint32_t address, std::span<const std::uint8_t> bytes);

// Little-endian value of width 1, 2 or 4 at address, zero-extended; 0 when it does not lie inside RAM.
std::uint32_t ReadImageValue(const RamImage& image, std::uint32_t address, std::uint32_t width);

}  // namespace psf
