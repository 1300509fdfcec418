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

struct ExpectedParameter {
  const char* name;
  std::uint32_t valueAddress;
  std::uint32_t width;
  std::uint32_t value;  // after LoadBuiltinDriver
};

// The built-in driver's parameter list in list order, with each value after LoadBuiltinDriver.
inline const ExpectedParameter BUILTIN_PARAMETERS[] = {
    {"SEQ/SEP/VAG Address", 0x800228A8, 4, 0x800A0000},  // 00
    {"VH Address", 0x800228AC, 4, 0x800E0000},           // 01
    {"VB Address", 0x800228B0, 4, 0x80160000},           // 02
    {"Playback Type", 0x800228C0, 4, 1},                 // 03
    {"Playback Amount", 0x800228D4, 4, 0},               // 04
    {"Automatic Stop", 0x800228E8, 4, 0},                // 05
    {"SEP Play Mode", 0x800228C4, 4, 0},                 // 06
    {"Sequence Amount", 0x800228E4, 2, 1},               // 07
    {"Sequence ID #1", 0x800228DE, 2, 0},                // 08
    {"Sequence ID #2", 0x800228E0, 2, 0},                // 09
    {"Sequence Tick Mode", 0x8002295C, 4, 1},            // 10
    {"Reverb Mode", 0x80022928, 4, 0},                   // 11
    {"Reverb Depth (L)", 0x8002292C, 2, 80},             // 12
    {"Reverb Depth (R)", 0x8002292E, 2, 80},             // 13
    {"Reverb Delay", 0x80022930, 4, 80},                 // 14
    {"Reverb Feedback", 0x80022934, 4, 80},              // 15
    {"Reverb Volume (L)", 0x80022918, 2, 127},           // 16
    {"Reverb Volume (R)", 0x8002291A, 2, 127},           // 17
    {"Master Volume (L)", 0x80022914, 2, 127},           // 18
    {"Master Volume (R)", 0x80022916, 2, 127},           // 19
    {"Sequence Volume (L)", 0x8002291C, 2, 110},         // 20
    {"Sequence Volume (R)", 0x8002291E, 2, 110},         // 21
    {"VAB ID", 0x800228DC, 2, 0},                        // 22
    {"VAB Transfer Mode", 0x800228D0, 2, 0},             // 23
    {"VAB Non-Zero Volume", 0x80022938, 4, 0},           // 24
    {"VAB High-Priority", 0x8002293C, 4, 0},             // 25
    {"Video Mode", 0x800228C8, 4, 0},                    // 26
    {"Channel Output", 0x800228CC, 4, 0},                // 27
    {"Custom Tempo?", 0x80022940, 4, 0},                 // 28
    {"Custom Tempo Value", 0x80022958, 2, 0},            // 29
    {"Custom Accelerando?", 0x80022944, 4, 0},           // 30
    {"Custom Crescendo?", 0x80022948, 4, 0},             // 31
    {"Custom Decrescendo?", 0x8002294C, 4, 0},           // 32
    {"Custom Ritardando?", 0x80022950, 4, 0},            // 33
    {"Custom Tick Skip?", 0x80022954, 4, 0},             // 34
    {"Custom Tick Resolution", 0x80022960, 4, 0},        // 35
    {"Custom Tick Skip Unit", 0x80022968, 1, 0},         // 36
    {"Custom Tick Skip Value", 0x8002296A, 2, 0},        // 37
    {"Custom Tick Timing", 0x80022964, 4, 0},            // 38
    {"De/Crescendo Volume", 0x80022920, 2, 0},           // 39
    {"Mute Channel 0", 0x80022860, 4, 0},                // 40
    {"Mute Channel 1", 0x80022864, 4, 0},                // 41
    {"Mute Channel 2", 0x80022868, 4, 0},                // 42
    {"Mute Channel 3", 0x8002286C, 4, 0},                // 43
    {"Mute Channel 4", 0x80022870, 4, 0},                // 44
    {"Mute Channel 5", 0x80022874, 4, 0},                // 45
    {"Mute Channel 6", 0x80022878, 4, 0},                // 46
    {"Mute Channel 7", 0x8002287C, 4, 0},                // 47
    {"Mute Channel 8", 0x80022880, 4, 0},                // 48
    {"Mute Channel 9", 0x80022884, 4, 0},                // 49
    {"Mute Channel 10", 0x80022888, 4, 0},               // 50
    {"Mute Channel 11", 0x8002288C, 4, 0},               // 51
    {"Mute Channel 12", 0x80022890, 4, 0},               // 52
    {"Mute Channel 13", 0x80022894, 4, 0},               // 53
    {"Mute Channel 14", 0x80022898, 4, 0},               // 54
    {"Mute Channel 15", 0x8002289C, 4, 0},               // 55
};

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
