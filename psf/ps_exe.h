#pragma once

#include <cstddef>
#include <cstdint>

namespace psf {

// PS-X EXE header, 2048 bytes, little-endian words:
//   0x000  8     magic "PS-X EXE" (carried, never checked)
//   0x008  4     text offset            0x00C  4  data offset
//   0x010  4     pc0, initial program counter
//   0x014  4     gp0
//   0x018  4     t_addr, load address of the text
//   0x01C  4     t_size, text size in bytes (0x801FFFF0 - t_addr once loaded into a RAM image)
//   0x020  4     d_addr                 0x024  4  d_size
//   0x028  4     b_addr                 0x02C  4  b_size
//   0x030  4     s_addr, stack base
//   0x034  4     s_size, stack offset (0x801FFFF0 once loaded)
//   0x038  20    saved SP, FP, GP, RA, S0
//   0x04C  1972  region marker text, NUL-padded
// Of a loaded header only the first 132 bytes are kept: the fixed fields and 56 bytes of the marker text.
inline constexpr std::size_t PSX_EXE_HEADER_SIZE = 2048;
inline constexpr std::size_t KEPT_HEADER_SIZE = 132;

inline constexpr std::size_t EXE_PC0_OFFSET = 0x10;
inline constexpr std::size_t EXE_T_ADDR_OFFSET = 0x18;
inline constexpr std::size_t EXE_T_SIZE_OFFSET = 0x1C;
inline constexpr std::size_t EXE_S_ADDR_OFFSET = 0x30;
inline constexpr std::size_t EXE_S_SIZE_OFFSET = 0x34;
inline constexpr std::size_t EXE_MARKER_OFFSET = 0x4C;

// What a loaded header says: the text spans RAM from t_addr up to the stack top (so the whole image travels
// into a PSF; the 16 bytes above the stack top are stored behind the declared text), and the word at 0x34
// holds the stack top. A driver loading at 0x80010000 gets t_size 0x001EFFF0.
inline constexpr std::uint32_t LOADED_STACK_TOP = 0x801FFFF0;
inline constexpr std::uint32_t LOADED_S_SIZE = LOADED_STACK_TOP;

// t_size of a loaded header whose text starts at tAddr: the bytes from there to the stack top (0 above it).
constexpr std::uint32_t LoadedTextSize(std::uint32_t tAddr) {
  return tAddr < LOADED_STACK_TOP ? LOADED_STACK_TOP - tAddr : 0;
}

}  // namespace psf
