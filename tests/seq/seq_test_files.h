#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace seq_testing {

using Bytes = std::vector<std::uint8_t>;

// The pieces joined in order.
inline Bytes Cat(std::initializer_list<Bytes> pieces) {
  Bytes all;
  for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

// A SEQ at 480 ticks per quarter note whose tempo changes mid-song, once under the running meta status;
// it ends with a non-zero delta time before FF 2F 00. 672 ticks: 480 at 500000, 192 at 500000, so 0.7 s.
inline const Bytes TEMPO_SEQ{
    'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,  // header
    0x00, 0xC0, 0x05,                                                                          // program 5
    0x00, 0x90, 0x3C, 0x64,                                                                    // C4 on
    0x83, 0x60, 0x3C, 0x00,              // 480 ticks on, C4 off (running status)
    0x00, 0xFF, 0x51, 0x09, 0x27, 0xC0,  // tempo 600000, no length byte
    0x00, 0x51, 0x07, 0xA1, 0x20,        // tempo 500000 under the running meta status
    0x00, 0x90, 0x3E, 0x64,              // D4 on: after a meta the status is always written
    0x60, 0x3E, 0x00,                    // 96 ticks on, D4 off (running status)
    0x60, 0xFF, 0x2F, 0x00,              // 96 ticks on, end of track
};

// The start of every SEP: "pQES" and the 2-byte version 0.
inline Bytes SepStart() { return {'p', 'Q', 'E', 'S', 0x00, 0x00}; }

// One SEP record: sequence number, the seven resolution/tempo/rhythm bytes, the data size, the data.
inline Bytes SepRecord(std::uint16_t number, const Bytes& timing, const Bytes& data) {
  const auto size = static_cast<std::uint32_t>(data.size());
  Bytes record;
  record.reserve(2 + timing.size() + 4 + data.size());
  record.push_back(static_cast<std::uint8_t>(number >> 8));
  record.push_back(static_cast<std::uint8_t>(number));
  record.insert(record.end(), timing.begin(), timing.end());
  for (int shift = 24; shift >= 0; shift -= 8) record.push_back(static_cast<std::uint8_t>(size >> shift));
  record.insert(record.end(), data.begin(), data.end());
  return record;
}

// Runs a test's body in another working directory and goes back afterwards.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::filesystem::path& directory)
      : m_previous(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
  }
  ~ScopedWorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
  }
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::filesystem::path m_previous;
};

}  // namespace seq_testing
