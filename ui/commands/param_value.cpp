#include "ui/commands/param_value.h"

namespace ui {

namespace {

constexpr std::uint64_t LARGEST_VALUE = 0xFFFFFFFFu;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int DigitValue(char c, int base) {
  int digit = base;
  if (c >= '0' && c <= '9') digit = c - '0';
  if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
  return digit < base ? digit : -1;
}

}  // namespace

std::optional<std::uint32_t> ReadParamValue(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;

  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }

  // "0x" counts as a prefix only when a hexadecimal digit follows; otherwise the "0" is the whole number.
  int base = 10;
  if (text.size() - pos >= 3 && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
      DigitValue(text[pos + 2], 16) >= 0) {
    base = 16;
    pos += 2;
  }

  std::uint64_t value = 0;
  std::size_t digits = 0;
  for (; pos < text.size(); ++pos, ++digits) {
    const int digit = DigitValue(text[pos], base);
    if (digit < 0) break;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (value > LARGEST_VALUE) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;

  const auto magnitude = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - magnitude) : magnitude;
}

}  // namespace ui
