#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "support/temp_dir.h"

// Small song files for the front-end tests, written out byte by byte.
namespace ui_testing {

using Bytes = std::vector<std::uint8_t>;

// A SEQ: "pQES", version 1, resolution 480, tempo 500000 us, 4/4 (denominator as exponent 2), one note
// on and off, end of track.
inline Bytes SeqBytes() {
  return {
      'p',  'Q',  'E',  'S',   // magic
      0x00, 0x00, 0x00, 0x01,  // version 1
      0x01, 0xE0,              // resolution 480
      0x07, 0xA1, 0x20,        // tempo 500000
      0x04, 0x02,              // rhythm 4 / 2^2
      0x00, 0x90, 0x3C, 0x64,  // delta 0, note on C4
      0x60, 0x80, 0x3C, 0x00,  // delta 96, note off
      0x00, 0xFF, 0x2F, 0x00,  // end of track
  };
}

// A SEP of two sequences: "pQES", version 0 (two bytes), then two records of a 13-byte header and 8 bytes
// of event data each.
inline Bytes SepBytes() {
  Bytes sep = {'p', 'Q', 'E', 'S', 0x00, 0x00};  // magic, 2-byte version 0
  for (std::uint8_t number = 0; number < 2; ++number) {
    const Bytes record = {
        0x00, number,              // sequence number
        0x01, 0xE0,                // resolution 480
        0x07, 0xA1,   0x20,        // tempo
        0x04, 0x02,                // rhythm
        0x00, 0x00,   0x00, 0x08,  // data size 8
        0x00, 0x90,   0x3C, 0x64,  // note on
        0x00, 0xFF,   0x2F, 0x00,  // end of track
    };
    sep.insert(sep.end(), record.begin(), record.end());
  }
  return sep;
}

// A VH of one program with two tones playing two samples of 32 and 16 bytes (size table in 8-byte units).
// VH: header 32 | program table 2048 | 512 per program | size table 512.
inline Bytes VhBytes() {
  Bytes vh(2592 + 512, 0);
  const Bytes header = {'p',  'B',  'A', 'V', 0x07, 0, 0, 0, 0,    0,
                        0,    0,    0,   0,   0,    0, 0, 0, 0x01, 0x00,  // programCount 1
                        0x02, 0x00,                                       // toneCount 2
                        0x02, 0x00,                                       // sampleCount 2
                        0x7F, 0x40, 0,   0,   0,    0, 0, 0};
  std::copy(header.begin(), header.end(), vh.begin());
  vh[32] = 2;  // program 0: two tones
  // Tones of program 0 at 2080: centre note 60 at +4, fine tuning at +5, sample number (index + 1) at +22.
  for (int tone = 0; tone < 2; ++tone) {
    const std::size_t at = 2080 + 32 * tone;
    vh[at + 4] = 60;
    vh[at + 22] = static_cast<std::uint8_t>(tone + 1);
  }
  // Size table at 2592: entry i + 1 sizes sample i.
  vh[2592 + 2] = 4;  // sample 0: 32 bytes
  vh[2592 + 4] = 2;  // sample 1: 16 bytes
  return vh;
}

inline Bytes VbBytes() {
  Bytes vb(48);
  for (std::size_t i = 0; i < vb.size(); ++i) vb[i] = static_cast<std::uint8_t>(0x40 + i);
  return vb;
}

inline Bytes VabBytes() {
  Bytes vab = VhBytes();
  const Bytes vb = VbBytes();
  vab.insert(vab.end(), vb.begin(), vb.end());
  return vab;
}

// An "EXE" for the EXE-to-PSF conversion, which wraps any bytes unexamined.
inline Bytes ExeBytes() {
  Bytes exe(2048 + 16, 0);
  const char magic[] = "PS-X EXE";
  std::copy(magic, magic + 8, exe.begin());
  return exe;
}

inline std::filesystem::path Write(const testing_support::TempDir& dir, const std::string& name, const Bytes& bytes) {
  const std::filesystem::path path = dir / name;
  testing_support::WriteBytes(path, bytes);
  return path;
}

}  // namespace ui_testing
