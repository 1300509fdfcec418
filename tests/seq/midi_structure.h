#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace seq_testing {

// The length a meta event of this type must have, -1 when any length will do (text and the like).
inline int FixedMetaLength(std::uint8_t type) {
  switch (type) {
    case 0x00:
      return 2;  // sequence number (or 0: the track's own position)
    case 0x20:
      return 1;  // channel prefix
    case 0x21:
      return 1;  // port
    case 0x2F:
      return 0;  // end of track
    case 0x51:
      return 3;  // set tempo
    case 0x54:
      return 5;  // SMPTE offset
    case 0x58:
      return 4;  // time signature
    case 0x59:
      return 2;  // key signature
    default:
      return -1;
  }
}

// A strict reading of a format-0 Standard MIDI File, independent of the converter: chunk ids and
// lengths, delta-time varints, status and data bytes, meta lengths (and the fixed ones of tempo, time
// signature and the like), complete system-exclusive messages, and a track whose length reaches exactly
// to the end of the file, where its first FF 2F 00 ends it. "" when the file is well formed, else the first fault.
inline std::string CheckMidiStructure(const std::vector<std::uint8_t>& b) {
  auto u32 = [&](std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
           b[at + 3];
  };
  if (b.size() < 22) return "shorter than the two chunk headers";
  if (std::string(b.begin(), b.begin() + 4) != "MThd") return "no MThd";
  if (u32(4) != 6) return "header length is not 6";
  if (b[8] != 0 || b[9] != 0) return "not format 0";
  if (b[10] != 0 || b[11] != 1) return "not exactly one track";
  if (std::string(b.begin() + 14, b.begin() + 18) != "MTrk") return "no MTrk at 14";
  if (u32(18) != b.size() - 22) return "track length does not reach exactly to the end of the file";

  std::size_t at = 22;
  auto varint = [&](std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (at >= b.size()) return false;
      const std::uint8_t byte = b[at++];
      value = (value << 7) | (byte & 0x7F);
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  };
  std::uint8_t running = 0;
  while (at < b.size()) {
    std::uint32_t delta = 0;
    if (!varint(delta)) return "bad delta time at " + std::to_string(at);
    if (at >= b.size()) return "delta time without an event";
    std::uint8_t status = b[at];
    if (status >= 0x80) {
      ++at;
    } else if (running == 0) {
      return "data byte without running status at " + std::to_string(at);
    } else {
      status = running;
    }
    if (status == 0xFF) {
      if (at >= b.size() || b[at] >= 0x80) return "bad meta type";
      const std::uint8_t type = b[at++];
      std::uint32_t length = 0;
      if (!varint(length) || length > b.size() - at) return "bad meta length";
      const int fixed = FixedMetaLength(type);
      if (fixed >= 0 && length != static_cast<std::uint32_t>(fixed) && !(type == 0x00 && length == 0))
        return "meta " + std::to_string(type) + " of length " + std::to_string(length);
      at += length;
      if (type == 0x2F) return at == b.size() ? "" : "bytes after the end of track";
      running = 0;
    } else if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length = 0;
      if (!varint(length) || length > b.size() - at) return "bad system-exclusive length";
      at += length;
      if (status == 0xF0 && (length == 0 || b[at - 1] != 0xF7)) return "system exclusive without its F7";
      running = 0;
    } else if (status >= 0xF0) {
      return "status byte not allowed in a file at " + std::to_string(at - 1);
    } else {
      running = status;
      const std::size_t dataBytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      for (std::size_t i = 0; i < dataBytes; ++i) {
        if (at >= b.size() || b[at] >= 0x80) return "bad data byte at " + std::to_string(at);
        ++at;
      }
    }
  }
  return "no end of track";
}

}  // namespace seq_testing
