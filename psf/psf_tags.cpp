#include "psf/psf_tags.h"

#include <algorithm>
#include <cmath>

#include "core/byte_io.h"
#include "core/text.h"
#include "psf/psf_file.h"

namespace psf {

namespace {

constexpr std::string_view AUTO_VALUE = "auto";

bool IsTagSpace(char c) { return c != 0 && static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsTagSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTagSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The reason name cannot be set by the user; "" when it can.
std::string CheckTagName(std::string_view name) {
  if (name.empty()) return "empty tag name";
  if (!std::all_of(name.begin(), name.end(), IsNameCharacter) || (name.front() >= '0' && name.front() <= '9')) {
    return "tag name \"" + std::string(name) + "\" is not ASCII letters, digits and _ (not starting with a digit)";
  }
  if (name.front() == '_' && LowerAscii(name) != "_refresh") {
    return "tag name \"" + std::string(name) + "\" is reserved for players (only _refresh may be set)";
  }
  return "";
}

// The reason value does not suit the tag name (lower case); "" when it does.
std::string CheckTagValue(std::string_view name, std::string_view value) {
  if (!core::IsValidUtf8(value)) return "value of tag " + std::string(name) + " is not valid UTF-8";
  if (name == "_refresh" && value != "50" && value != "60") return "_refresh must be 50 or 60";
  if ((name == "length" || name == "fade") && value != AUTO_VALUE && !ParseTagDuration(value)) {
    return "value of tag " + std::string(name) + " is neither [[h:]m:]s[.d] nor auto: \"" + std::string(value) + "\"";
  }
  return "";
}

Tag* FindTagEntry(TagList& tags, std::string_view lowerName) {
  const auto found = std::find_if(tags.begin(), tags.end(), [&](const Tag& tag) { return tag.name == lowerName; });
  return found == tags.end() ? nullptr : &*found;
}

// Digits only, at least one, not too many for the sum to overflow; nothing otherwise.
std::optional<std::uint64_t> ParseDigits(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::optional<std::string_view> FindTagText(std::span<const std::uint8_t> psf) {
  if (psf.size() < PSF_HEADER_SIZE) return std::nullopt;
  const std::uint64_t tagStart = PSF_HEADER_SIZE + std::uint64_t{core::LoadU32Le(psf, 4)} + core::LoadU32Le(psf, 8);
  if (tagStart > psf.size() || psf.size() - tagStart < TAG_HEADER.size()) return std::nullopt;
  const std::string_view rest(reinterpret_cast<const char*>(psf.data()) + tagStart, psf.size() - tagStart);
  if (!rest.starts_with(TAG_HEADER)) return std::nullopt;
  return rest.substr(TAG_HEADER.size(), TAG_SECTION_LIMIT);
}

TagList ParseTagText(std::string_view text) {
  TagList tags;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string name = LowerAscii(Trim(line.substr(0, equals)));
    if (name.empty()) continue;
    const std::string_view value = Trim(line.substr(equals + 1));
    if (Tag* tag = FindTagEntry(tags, name)) {
      tag->value.append("\n").append(value);
    } else {
      tags.push_back({name, std::string(value)});
    }
  }
  return tags;
}

std::string TagNameKey(std::string_view name) { return LowerAscii(name); }

std::optional<std::string> FindTag(const TagList& tags, std::string_view name) {
  const std::string lower = LowerAscii(name);
  for (const Tag& tag : tags) {
    if (tag.name == lower) return tag.value;
  }
  return std::nullopt;
}

bool SetTag(TagList& tags, std::string_view name, std::string_view value, std::string& reason) {
  reason = CheckTagName(name);
  if (!reason.empty()) return false;
  const std::string lower = LowerAscii(name);
  if (value.empty()) {
    std::erase_if(tags, [&](const Tag& tag) { return tag.name == lower; });
    return true;
  }
  reason = CheckTagValue(lower, value);
  if (!reason.empty()) return false;
  if (Tag* tag = FindTagEntry(tags, lower)) {
    tag->value = value;
  } else {
    tags.push_back({lower, std::string(value)});
  }
  return true;
}

std::optional<std::string> FormatTagText(const TagList& tags, std::string& reason) {
  std::string text;
  bool anyWide = false;
  const auto addLine = [&](std::string_view name, std::string_view value) {
    if (!text.empty()) text += '\n';
    text.append(name).append("=").append(value);
  };
  for (const Tag& tag : tags) {
    if (tag.name == "utf8") continue;  // written once below, from the values themselves
    anyWide = anyWide || !IsAscii(tag.value);
    std::string_view value = tag.value;
    // Every line of the value becomes a line of its own; CR LF and lone CR count as line ends too.
    while (true) {
      const std::size_t end = value.find_first_of("\r\n");
      addLine(tag.name, value.substr(0, end));
      if (end == std::string_view::npos) break;
      const std::size_t next = value.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
      value = value.substr(next);
    }
  }
  if (anyWide) addLine("utf8", "1");
  if (TAG_HEADER.size() + text.size() > TAG_SECTION_LIMIT) {
    reason = "the tag section would be larger than 50000 bytes";
    return std::nullopt;
  }
  return text;
}

std::optional<std::uint64_t> ParseTagDuration(std::string_view text) {
  std::uint64_t fractionMs = 0;
  if (const std::size_t dot = text.find('.'); dot != std::string_view::npos) {
    const std::string_view fraction = text.substr(dot + 1);
    if (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    // Milliseconds from the first three digits; further digits are below a millisecond.
    const std::string padded = (std::string(fraction.substr(0, 3)) + "00").substr(0, 3);
    fractionMs = *ParseDigits(padded);
    text = text.substr(0, dot);
  }
  std::uint64_t seconds = 0;
  int fields = 0;
  while (true) {
    const std::size_t colon = text.find(':');
    const std::optional<std::uint64_t> field = ParseDigits(text.substr(0, colon));
    if (!field || ++fields > 3) return std::nullopt;
    seconds = seconds * 60 + *field;
    if (colon == std::string_view::npos) break;
    text = text.substr(colon + 1);
  }
  return seconds * 1000 + fractionMs;
}

std::string FormatTagDuration(double seconds) {
  const auto tenths = static_cast<std::uint64_t>(std::ceil(std::max(seconds, 0.0) * 10.0 - 1e-9));
  const std::uint64_t wholeSeconds = tenths / 10;
  std::string text = std::to_string(wholeSeconds / 60) + ":";
  const std::uint64_t secondsInMinute = wholeSeconds % 60;
  if (secondsInMinute < 10) text += '0';
  text += std::to_string(secondsInMinute) + "." + std::to_string(tenths % 10);
  return text;
}

}  // namespace psf
