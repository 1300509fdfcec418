#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace assets {

// Size of the PS-X EXE header that precedes the driver's text.
inline constexpr std::size_t DRIVER_HEADER_SIZE = 2048;
// Size of the driver's text, laid at 0x80010000-0x80023FFF.
inline constexpr std::size_t DRIVER_TEXT_SIZE = 0x14000;

// The built-in driver's 2048-byte PS-X EXE header, as stored (t_size 0x14000).
std::span<const std::uint8_t, DRIVER_HEADER_SIZE> BuiltinDriverHeader();

// The built-in driver's 81,920 bytes of text.
std::span<const std::uint8_t, DRIVER_TEXT_SIZE> BuiltinDriverText();

}  // namespace assets
