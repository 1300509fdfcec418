#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace core {

// Little-endian and big-endian numbers at explicit offsets of a byte span; 0 past the end.
inline std::uint32_t LoadU8(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : 0;
}
inline std::uint32_t LoadU16Le(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return LoadU8(bytes, offset) | (LoadU8(bytes, offset + 1) << 8);
}
inline std::uint32_t LoadU32Le(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return LoadU16Le(bytes, offset) | (LoadU16Le(bytes, offset + 2) << 16);
}
inline std::uint32_t LoadU16Be(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return (LoadU8(bytes, offset) << 8) | LoadU8(bytes, offset + 1);
}
inline std::uint32_t LoadU24Be(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return (LoadU16Be(bytes, offset) << 8) | LoadU8(bytes, offset + 2);
}
inline std::uint32_t LoadU32Be(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return (LoadU16Be(bytes, offset) << 16) | LoadU16Be(bytes, offset + 2);
}

// Stores into a byte span at explicit offsets; a store that would not fit is dropped.
inline void StoreU8(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (offset < bytes.size()) bytes[offset] = static_cast<std::uint8_t>(value);
}
inline void StoreU16Le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (offset + 2 > bytes.size()) return;
  StoreU8(bytes, offset, value);
  StoreU8(bytes, offset + 1, value >> 8);
}
inline void StoreU32Le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (offset + 4 > bytes.size()) return;
  StoreU16Le(bytes, offset, value);
  StoreU16Le(bytes, offset + 2, value >> 16);
}
inline void StoreU16Be(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (offset + 2 > bytes.size()) return;
  StoreU8(bytes, offset, value >> 8);
  StoreU8(bytes, offset + 1, value);
}
inline void StoreU32Be(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (offset + 4 > bytes.size()) return;
  StoreU16Be(bytes, offset, value >> 16);
  StoreU16Be(bytes, offset + 2, value);
}

// Reads numbers one after the other from a byte span. Reading past the end yields 0 and clears ok(),
// so a caller can finish a record and then reject it in one place.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes, std::size_t position = 0)
      : m_bytes(bytes), m_position(position) {}

  std::uint32_t U8() { return Take(1, false); }
  std::uint32_t U16Le() { return Take(2, false); }
  std::uint32_t U32Le() { return Take(4, false); }
  std::uint32_t U16Be() { return Take(2, true); }
  std::uint32_t U24Be() { return Take(3, true); }
  std::uint32_t U32Be() { return Take(4, true); }
  // The next count bytes, or an empty span (and ok() cleared) when fewer remain.
  std::span<const std::uint8_t> Bytes(std::size_t count);
  void Skip(std::size_t count) { Bytes(count); }

  bool ok() const { return m_ok; }
  std::size_t position() const { return m_position; }
  std::size_t remaining() const { return m_position <= m_bytes.size() ? m_bytes.size() - m_position : 0; }

 private:
  std::uint32_t Take(std::size_t count, bool bigEndian);

  std::span<const std::uint8_t> m_bytes;
  std::size_t m_position;
  bool m_ok = true;
};

// Appends numbers and bytes to a growing buffer and patches values already written.
class ByteWriter {
 public:
  void U8(std::uint32_t value) { m_bytes.push_back(static_cast<std::uint8_t>(value)); }
  void U16Le(std::uint32_t value);
  void U32Le(std::uint32_t value);
  void U16Be(std::uint32_t value);
  void U32Be(std::uint32_t value);
  void Bytes(std::span<const std::uint8_t> bytes);
  void Text(std::string_view text);
  void Zeros(std::size_t count) { m_bytes.resize(m_bytes.size() + count, 0); }
  void PatchU32Le(std::size_t offset, std::uint32_t value) { StoreU32Le(m_bytes, offset, value); }
  void PatchU32Be(std::size_t offset, std::uint32_t value) { StoreU32Be(m_bytes, offset, value); }

  std::size_t size() const { return m_bytes.size(); }
  const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
  std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

 private:
  std::vector<std::uint8_t> m_bytes;
};

}  // namespace core
