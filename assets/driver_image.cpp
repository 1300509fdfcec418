#include "assets/driver_image.h"

namespace assets {

namespace {

// assets/driver.exe, byte for byte; the build fails when the file does not have exactly this size.
constexpr std::uint8_t DRIVER_EXE[] = {
#include "driver_exe_bytes.inc"
};
static_assert(sizeof(DRIVER_EXE) == DRIVER_HEADER_SIZE + DRIVER_TEXT_SIZE,
              "assets/driver.exe must be a 2048-byte header followed by 0x14000 bytes of text");

}  // namespace

std::span<const std::uint8_t, DRIVER_HEADER_SIZE> BuiltinDriverHeader() {
  return std::span<const std::uint8_t, DRIVER_HEADER_SIZE>(DRIVER_EXE, DRIVER_HEADER_SIZE);
}

std::span<const std::uint8_t, DRIVER_TEXT_SIZE> BuiltinDriverText() {
  return std::span<const std::uint8_t, DRIVER_TEXT_SIZE>(DRIVER_EXE + DRIVER_HEADER_SIZE, DRIVER_TEXT_SIZE);
}

}  // namespace assets
