#include "core/byte_io.h"

#include <algorithm>

namespace core {

std::span<const std::uint8_t> ByteReader::Bytes(std::size_t count) {
  if (!m_ok || count > remaining()) {
    m_ok = false;
    m_position = m_bytes.size();
    return {};
  }
  const auto result = m_bytes.subspan(m_position, count);
  m_position += count;
  return result;
}

std::uint32_t ByteReader::Take(std::size_t count, bool bigEndian) {
  const auto bytes = Bytes(count);
  if (bytes.empty()) return 0;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t index = bigEndian ? i : count - 1 - i;
    value = (value << 8) | bytes[index];
  }
  return value;
}

void ByteWriter::Bytes(std::span<const std::uint8_t> bytes) {
  const std::size_t start = m_bytes.size();
  m_bytes.resize(start + bytes.size());
  std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(start));
}

void ByteWriter::Text(std::string_view text) {
  Bytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void ByteWriter::U16Le(std::uint32_t value) {
  U8(value);
  U8(value >> 8);
}

void ByteWriter::U32Le(std::uint32_t value) {
  U16Le(value);
  U16Le(value >> 16);
}

void ByteWriter::U16Be(std::uint32_t value) {
  U8(value >> 8);
  U8(value);
}

void ByteWriter::U32Be(std::uint32_t value) {
  U16Be(value >> 16);
  U16Be(value);
}

}  // namespace core
