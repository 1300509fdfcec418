#pragma once

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "assets/driver_image.h"
#include "support/temp_dir.h"

namespace psf_testing {

inline std::uint32_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline void PutWord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutHalf(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::uint32_t Crc(const std::uint8_t* data, std::size_t size) {
  return static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(size)));
}

// A PSF made with zlib directly: header fields as given, the program compressed at level 9, then tags.
inline std::vector<std::uint8_t> MakePsf(const std::vector<std::uint8_t>& program, const std::string& tags = "",
                                         std::uint8_t version = 0x01, std::uint32_t reserved = 0) {
  uLongf length = compressBound(static_cast<uLong>(program.size()));
  std::vector<std::uint8_t> compressed(length);
  compress2(compressed.data(), &length, program.data(), static_cast<uLong>(program.size()), 9);
  compressed.resize(length);
  std::vector<std::uint8_t> file = {'P', 'S', 'F', version, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  PutWord(file, 4, reserved);
  PutWord(file, 8, static_cast<std::uint32_t>(length));
  PutWord(file, 12, Crc(compressed.data(), compressed.size()));
  file.insert(file.end(), compressed.begin(), compressed.end());
  file.insert(file.end(), tags.begin(), tags.end());
  return file;
}

// The program section of a PSF, decompressed with zlib directly; nothing when it does not inflate.
inline std::optional<std::vector<std::uint8_t>> Inflate(const std::vector<std::uint8_t>& psf, std::size_t limit) {
  if (psf.size() < 16) return std::nullopt;
  const std::uint32_t length = WordAt(psf, 8);
  std::vector<std::uint8_t> program(limit);
  uLongf size = static_cast<uLongf>(limit);
  if (uncompress(program.data(), &size, psf.data() + 16, length) != Z_OK) return std::nullopt;
  program.resize(size);
  return program;
}

// A VH of programCount programs (tone blocks zero but for a marker byte) and the given sample sizes in
// 8-byte units. Header: "pBAV", version 7, bank 0, size, reserved, counts, volume 0x7F, pan 0x40.
inline std::vector<std::uint8_t> MakeVh(std::uint16_t programCount, const std::vector<std::uint16_t>& sizeUnits) {
  std::vector<std::uint8_t> vh(2592 + 512 * programCount, 0);
  const std::uint8_t header[32] = {
      'p',
      'B',
      'A',
      'V',  // 0x00 identifier
      0x07,
      0x00,
      0x00,
      0x00,  // 0x04 version
      0x00,
      0x00,
      0x00,
      0x00,  // 0x08 bank id
      0x00,
      0x00,
      0x00,
      0x00,  // 0x0C total size (not checked)
      0x00,
      0x00,  // 0x10 reserved
      static_cast<std::uint8_t>(programCount),
      0x00,  // 0x12 programCount
      static_cast<std::uint8_t>(programCount),
      0x00,  // 0x14 toneCount
      static_cast<std::uint8_t>(sizeUnits.size()),
      0x00,  // 0x16 sampleCount
      0x7F,
      0x40,
      0x00,
      0x00,  // 0x18 volume, pan, attributes
      0x00,
      0x00,
      0x00,
      0x00,  // 0x1C reserved
  };
  std::copy(std::begin(header), std::end(header), vh.begin());
  vh[32] = 0x11;  // first byte of the program table
  for (std::size_t p = 0; p < programCount; ++p) vh[2080 + 512 * p] = static_cast<std::uint8_t>(0xA0 + p);
  const std::size_t table = 2080 + 512 * programCount;
  for (std::size_t i = 0; i < sizeUnits.size(); ++i) PutHalf(vh, table + 2 + 2 * i, sizeUnits[i]);
  return vh;
}

// The built-in driver image as a PS-X EXE file: its header as stored, then its text.
inline std::vector<std::uint8_t> BuiltinExe() {
  const auto header = assets::BuiltinDriverHeader();
  const auto text = assets::BuiltinDriverText();
  std::vector<std::uint8_t> exe;
  exe.reserve(header.size() + text.size());
  exe.insert(exe.end(), header.begin(), header.end());
  exe.insert(exe.end(), text.begin(), text.end());
  return exe;
}

// count bytes counting up from first.
inline std::vector<std::uint8_t> Ramp(std::size_t count, std::uint8_t first) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

}  // namespace psf_testing
