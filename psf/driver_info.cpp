#include "psf/driver_info.h"

#include <algorithm>

#include "core/byte_io.h"

namespace psf {

namespace {

// Reads expected.size() bytes at address as a NUL-terminated string (a NUL inside the stretch shortens it)
// and compares it with expected.
bool StretchReads(const RamImage& image, std::uint32_t address, std::string_view expected) {
  const auto bytes = RamBytes(image, address, expected.size());
  if (!bytes) return false;
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  text = text.substr(0, text.find('\0'));
  return text == expected;
}

}  // namespace

DriverInfo DecodeDriverInfo(std::span<const std::uint8_t, DRIVER_INFO_SIZE> block) {
  DriverInfo info;
  std::copy_n(block.begin(), info.marker.size(), info.marker.begin());
  core::ByteReader reader(block, 0x10);
  info.codeAddress = reader.U32Le();
  info.entryAddress = reader.U32Le();
  info.driverNameAddress = reader.U32Le();
  info.executableNameAddress = reader.U32Le();
  info.checksum = reader.U32Le();
  info.patchAddress = reader.U32Le();
  for (SongArea& area : info.songAreas) {
    area.address = reader.U32Le();
    area.size = reader.U32Le();
  }
  return info;
}

bool CheckDriverSignature(const RamImage& image) {
  return StretchReads(image, MAKER_NAME_ADDRESS, MAKER_NAME) && StretchReads(image, DRIVER_NAME_ADDRESS, DRIVER_NAME);
}

}  // namespace psf
