#include "psf/ram_image.h"

#include <algorithm>
#include <cstring>

#include "assets/driver_image.h"
#include "core/byte_io.h"
#include "core/failure.h"
#include "core/text.h"

namespace psf {

namespace {

// Lays text at t_addr of RAM that is zero elsewhere; the caller has checked that it fits. Each byte of the
// 2 MiB is written once: the text is not laid over zeros first.
void FillImage(RamImage& image, std::span<const std::uint8_t> header, std::size_t textOffset,
               std::span<const std::uint8_t> text) {
  std::copy_n(header.begin(), KEPT_HEADER_SIZE, image.header.begin());
  image.ram.clear();
  image.ram.reserve(RAM_SIZE);
  image.ram.resize(textOffset, 0);
  image.ram.insert(image.ram.end(), text.begin(), text.end());
  image.ram.resize(RAM_SIZE, 0);
  image.loaded = true;
}

}  // namespace

void UnloadImage(RamImage& image) {
  image.header.fill(0);
  image.ram.clear();
  image.loaded = false;
}

std::optional<std::size_t> RamOffset(std::uint32_t address, std::size_t length) {
  if (address < RAM_BASE) return std::nullopt;
  const std::uint64_t offset = address - RAM_BASE;
  if (offset > RAM_SIZE || length > RAM_SIZE - offset) return std::nullopt;
  return static_cast<std::size_t>(offset);
}

std::optional<std::span<std::uint8_t>> RamBytes(RamImage& image, std::uint32_t address, std::size_t length) {
  if (!image.loaded || image.ram.size() != RAM_SIZE) return std::nullopt;
  const auto offset = RamOffset(address, length);
  if (!offset) return std::nullopt;
  return std::span<std::uint8_t>(image.ram).subspan(*offset, length);
}

std::optional<std::span<const std::uint8_t>> RamBytes(const RamImage& image, std::uint32_t address,
                                                      std::size_t length) {
  if (!image.loaded || image.ram.size() != RAM_SIZE) return std::nullopt;
  const auto offset = RamOffset(address, length);
  if (!offset) return std::nullopt;
  return std::span<const std::uint8_t>(image.ram).subspan(*offset, length);
}

bool LoadEmbeddedImage(RamImage& image) {
  UnloadImage(image);
  const auto header = assets::BuiltinDriverHeader();
  const auto text = assets::BuiltinDriverText();
  const std::uint32_t tAddr = core::LoadU32Le(header, EXE_T_ADDR_OFFSET);
  const std::uint32_t tSize = core::LoadU32Le(header, EXE_T_SIZE_OFFSET);
  const auto offset = RamOffset(tAddr, tSize);
  if (!offset || tSize > text.size()) {
    core::SetFailureReason("the built-in driver does not fit the RAM image");
    return false;
  }
  FillImage(image, header, *offset, text.first(tSize));
  return true;
}

namespace {

// The RAM offset of the EXE's text, or nothing (reason noted) when the EXE is too short or its text does not
// fit RAM.
std::optional<std::size_t> CheckExeText(std::span<const std::uint8_t> exe) {
  if (exe.size() < PSX_EXE_HEADER_SIZE) {
    core::SetFailureReason(core::FormatText("program is %zu bytes long, shorter than a PS-X EXE header", exe.size()));
    return std::nullopt;
  }
  const std::uint32_t tAddr = core::LoadU32Le(exe, EXE_T_ADDR_OFFSET);
  const std::uint32_t tSize = core::LoadU32Le(exe, EXE_T_SIZE_OFFSET);
  const auto offset = RamOffset(tAddr, tSize);
  if (!offset) {
    core::SetFailureReason(
        core::FormatText("program text (0x%08X bytes at 0x%08X) does not fit the RAM image", tSize, tAddr));
    return std::nullopt;
  }
  if (exe.size() - PSX_EXE_HEADER_SIZE < tSize) {
    core::SetFailureReason(core::FormatText("program holds %zu bytes of text, its header declares 0x%08X",
                                            exe.size() - PSX_EXE_HEADER_SIZE, tSize));
    return std::nullopt;
  }
  return offset;
}

}  // namespace

bool LoadExeImage(RamImage& image, std::span<const std::uint8_t> exe) {
  UnloadImage(image);
  const auto offset = CheckExeText(exe);
  if (!offset) return false;
  const std::uint32_t tSize = core::LoadU32Le(exe, EXE_T_SIZE_OFFSET);
  FillImage(image, exe, *offset, exe.subspan(PSX_EXE_HEADER_SIZE, tSize));
  return true;
}

bool LoadExeImage(RamImage& image, std::vector<std::uint8_t>&& exe) {
  UnloadImage(image);
  // The image keeps the buffer even when it refuses the EXE: its memory serves the next load.
  std::vector<std::uint8_t>& ram = image.ram;
  ram = std::move(exe);
  const auto offset = CheckExeText(ram);
  if (!offset) {
    ram.clear();
    return false;
  }
  const std::size_t tSize = core::LoadU32Le(ram, EXE_T_SIZE_OFFSET);
  std::copy_n(ram.begin(), KEPT_HEADER_SIZE, image.header.begin());
  // The text moves within the buffer to its place in RAM, then the bytes around it that still hold EXE
  // bytes are cleared (growing the buffer zeroed what lies beyond the EXE).
  const std::size_t exeSize = ram.size();
  ram.resize(std::max(exeSize, RAM_SIZE), 0);
  std::memmove(ram.data() + *offset, ram.data() + PSX_EXE_HEADER_SIZE, tSize);
  ram.resize(RAM_SIZE);
  std::fill_n(ram.begin(), *offset, 0);
  const std::size_t textEnd = *offset + tSize;
  const std::size_t exeEnd = std::min(exeSize, RAM_SIZE);
  if (textEnd < exeEnd)
    std::fill(ram.begin() + static_cast<std::ptrdiff_t>(textEnd), ram.begin() + static_cast<std::ptrdiff_t>(exeEnd), 0);
  image.loaded = true;
  return true;
}

void AdjustLoadedHeader(RamImage& image) {
  if (!image.loaded) return;
  core::StoreU32Le(image.header, EXE_T_SIZE_OFFSET, LoadedTextSize(ImageLoadAddress(image)));
  core::StoreU32Le(image.header, EXE_S_SIZE_OFFSET, LOADED_S_SIZE);
}

std::uint32_t ImageLoadAddress(const RamImage& image) { return core::LoadU32Le(image.header, EXE_T_ADDR_OFFSET); }

std::string ReadImageString(const RamImage& image, std::uint32_t address) {
  if (!image.loaded || image.ram.size() != RAM_SIZE) return {};
  const auto offset = RamOffset(address, 0);
  if (!offset) return {};
  const auto begin = image.ram.begin() + static_cast<std::ptrdiff_t>(*offset);
  const auto limit = begin + static_cast<std::ptrdiff_t>(std::min(IMAGE_STRING_LIMIT, RAM_SIZE - *offset));
  return std::string(begin, std::find(begin, limit, std::uint8_t{0}));
}

std::size_t WriteBytesAt(RamImage& image, std::uint32_t address, std::span<const std::uint8_t> bytes) {
  const auto target = RamBytes(image, address, bytes.size());
  if (!target) {
    if (image.loaded) {
      core::SetFailureReason(core::FormatText("%zu bytes at 0x%08X do not fit the RAM image", bytes.size(), address));
    } else {
      core::SetFailureReason("no driver loaded");
    }
    return 0;
  }
  std::copy(bytes.begin(), bytes.end(), target->begin());
  return bytes.size();
}

std::uint32_t ReadImageValue(const RamImage& image, std::uint32_t address, std::uint32_t width) {
  if (width != 1 && width != 2 && width != 4) return 0;
  const auto bytes = RamBytes(image, address, width);
  if (!bytes) return 0;
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < width; ++i) value |= static_cast<std::uint32_t>((*bytes)[i]) << (8 * i);
  return value;
}

}  // namespace psf
