// PSF tags. The input is used three ways:
// - as tag text: ParseTagText gives lower-case, trimmed, distinct names without '=' or LF, trimmed values;
//   FindTagText on it as a PSF gives text inside the bytes, at most 50,000 bytes;
// - as NUL-separated "name=value" records given to SetTag in turn: the list follows a small model (set,
//   replace in place, remove on an empty value), and FormatTagText of it parses back to the same names and
//   values (each line trimmed, CR LF and CR as LF, the utf8 tag aside), with utf8=1 exactly when a value is
//   not ASCII;
// - as a duration: a parsed one is below 10^9 hours; the first eight bytes as a number of seconds (finite,
//   up to 10^8) format as m:ss.d and parse back to that figure rounded up to a tenth, never below it.

#include <cmath>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "psf/psf_tags.h"

namespace {

bool IsTagSpace(char c) { return c != 0 && static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsTagSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTagSpace(text.back())) text.remove_suffix(1);
  return text;
}

// A value as it reads back from tag text: lines split at CR LF, CR or LF, each trimmed, joined with LF.
std::string ReadBack(std::string_view value) {
  std::string out;
  while (true) {
    const std::size_t end = value.find_first_of("\r\n");
    out.append(Trim(value.substr(0, end)));
    if (end == std::string_view::npos) return out;
    out += '\n';
    value = value.substr(value.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1);
  }
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower;
}

void CheckParsed(const psf::TagList& tags) {
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const psf::Tag& tag = tags[i];
    FUZZ_CHECK(!tag.name.empty() && Trim(tag.name) == tag.name && tag.name == Lower(tag.name));
    FUZZ_CHECK(tag.name.find_first_of("=\n") == std::string::npos);
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(tags[j].name != tag.name);
    std::string_view value = tag.value;
    while (true) {
      const std::size_t end = value.find('\n');
      FUZZ_CHECK(Trim(value.substr(0, end)) == value.substr(0, end));
      if (end == std::string_view::npos) break;
      value.remove_prefix(end + 1);
    }
  }
}

void CheckTagText(std::span<const std::uint8_t> input) {
  const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  CheckParsed(psf::ParseTagText(text));
  if (const auto found = psf::FindTagText(input)) {
    FUZZ_CHECK(found->size() <= psf::TAG_SECTION_LIMIT);
    FUZZ_CHECK(found->data() >= text.data() && found->data() + found->size() <= text.data() + text.size());
  }
}

void CheckSetAndFormat(std::span<const std::uint8_t> input) {
  std::string_view rest(reinterpret_cast<const char*>(input.data()), input.size());
  psf::TagList tags;
  psf::TagList model;
  for (int records = 0; !rest.empty() && records < 64; ++records) {
    const std::size_t end = rest.find('\0');
    const std::string_view record = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const std::size_t equals = record.find('=');
    const std::string_view name = record.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view() : record.substr(equals + 1);
    std::string reason;
    if (!psf::SetTag(tags, name, value, reason)) {
      FUZZ_CHECK(!reason.empty());
      continue;
    }
    const std::string lower = Lower(name);
    const auto held = std::find_if(model.begin(), model.end(), [&](const psf::Tag& tag) { return tag.name == lower; });
    if (value.empty()) {
      if (held != model.end()) model.erase(held);
    } else if (held != model.end()) {
      held->value = value;
    } else {
      model.push_back({lower, std::string(value)});
    }
    FUZZ_CHECK(tags.size() == model.size());
    for (std::size_t i = 0; i < tags.size(); ++i)
      FUZZ_CHECK(tags[i].name == model[i].name && tags[i].value == model[i].value);
  }

  std::string reason;
  const std::optional<std::string> text = psf::FormatTagText(tags, reason);
  if (!text) {
    FUZZ_CHECK(!reason.empty());
    return;
  }
  FUZZ_CHECK(text->size() + 5 <= psf::TAG_SECTION_LIMIT);
  psf::TagList expected;
  bool wide = false;
  for (const psf::Tag& tag : tags) {
    if (tag.name == "utf8") continue;
    wide = wide || std::any_of(tag.value.begin(), tag.value.end(), [](char c) { return c & 0x80; });
    expected.push_back({tag.name, ReadBack(tag.value)});
  }
  if (wide) expected.push_back({"utf8", "1"});
  const psf::TagList parsed = psf::ParseTagText(*text);
  if (parsed.size() != expected.size()) {
    std::fprintf(stderr, "tag text:\n%s\n", text->c_str());
    FUZZ_CHECK(parsed.size() == expected.size());
  }
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    FUZZ_CHECK(parsed[i].name == expected[i].name && parsed[i].value == expected[i].value);
  }
}

void CheckDurations(std::span<const std::uint8_t> input) {
  const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  if (const auto ms = psf::ParseTagDuration(text)) FUZZ_CHECK(*ms < 1000ull * 3600 * 1000000000ull);

  if (input.size() < 8) return;
  double seconds = 0;
  std::memcpy(&seconds, input.data(), sizeof seconds);
  if (!std::isfinite(seconds) || std::fabs(seconds) > 1e8) return;
  const std::string formatted = psf::FormatTagDuration(seconds);
  const auto ms = psf::ParseTagDuration(formatted);
  FUZZ_CHECK(ms.has_value() && *ms % 100 == 0);
  const double tenths = std::max(seconds, 0.0) * 10;
  // Rounded up, allowing for the last bits of the product: never a tenth below, never a tenth above.
  const double slack = 1e-6 * std::max(1.0, tenths);
  if (!(*ms / 100.0 >= tenths - slack && *ms / 100.0 < tenths + 1 + slack)) {
    std::fprintf(stderr, "%.17g s formats as %s\n", seconds, formatted.c_str());
    FUZZ_CHECK(false);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  CheckTagText(input);
  CheckSetAndFormat(input);
  CheckDurations(input);
  return 0;
}
