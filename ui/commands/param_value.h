#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ui {

// Reads a driver parameter value from a command-line text the way "%d" reads a number, widened to all 32
// bits: leading white space, an optional sign, then decimal digits up to 4294967295, or "0x"/"0X" and
// hexadecimal digits up to 0xFFFFFFFF. Anything behind the number is ignored ("12abc" reads 12, "0xg"
// reads 0). A minus sign wraps the value modulo 2^32 (-1 reads 0xFFFFFFFF). Nothing when the text holds no
// number or the number does not fit in 32 bits.
std::optional<std::uint32_t> ReadParamValue(std::string_view text);

}  // namespace ui
