#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace seq_testing {

// A strict reading of a format-0 Standard MIDI File, independent of the converter: chunk ids and
// lengths, delta-time varints, status and data bytes, meta and system-exclusive lengths, and a track
// that ends exactly with its first FF 2F 00. "" when the file is well formed, else the first fault.
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
      at += length;
      if (type == 0x2F) {
        if (length != 0) return "end of track with data";
        return at == b.size() ? "" : "bytes after the end of track";
      }
      running = 0;
    } else if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length = 0;
      if (!varint(length) || length > b.size() - at) return "bad system-exclusive length";
      at += length;
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
