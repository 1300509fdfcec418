#include "ui/commands/info_report.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/text.h"

namespace ui {

namespace {

// A JSON string: quotes, backslashes and control characters escaped, UTF-8 as it is; a byte that is not part
// of UTF-8 (a file name in another encoding) shows as U+FFFD, since JSON text cannot carry it.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      const std::size_t length = core::Utf8SequenceLength(text, at);
      out += length == 0 ? std::string_view("\\ufffd") : text.substr(at, length);
      if (length > 1) at += length - 1;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += core::FormatText("\\u%04x", byte);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonNumber(std::optional<double> number) {
  if (!number || !std::isfinite(*number)) return "null";
  // Whole numbers without a fraction; others with enough digits to read back the same figure.
  if (*number == std::floor(*number) && std::fabs(*number) < 1e15) return core::FormatText("%.0f", *number);
  return core::FormatText("%.6g", *number);
}

std::string Seconds(double seconds) { return core::FormatText("%.2f s", seconds); }

}  // namespace

std::string FormatInfoText(const InfoReport& report) {
  std::string text = core::FormatText("%s: %s\n", report.file.c_str(), report.type.c_str());
  for (const InfoFact& fact : report.facts) text += core::FormatText("  %s: %s\n", fact.key.c_str(), fact.text.c_str());
  if (!report.parameters.empty()) {
    text += "  parameters (* differs from the default):\n";
    for (const InfoParameter& parameter : report.parameters) {
      const int digits = static_cast<int>(2 * parameter.width);
      text += core::FormatText("   %c%02u %s = 0x%0*X\n", parameter.value != parameter.defaultValue ? '*' : ' ',
                               parameter.index, parameter.name.c_str(), digits, parameter.value);
    }
  }
  if (!report.tags.empty()) {
    text += "  tags:\n";
    for (const psf::Tag& tag : report.tags) {
      std::string value = tag.value;
      for (std::size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', at + 1)) {
        value.replace(at, 1, "\n    " + std::string(tag.name.size() + 1, ' '));
      }
      text += core::FormatText("    %s=%s\n", tag.name.c_str(), value.c_str());
    }
  }
  if (report.lengthSeconds) {
    text += core::FormatText("  computed length: %s (%s), fade %s\n", Seconds(*report.lengthSeconds).c_str(),
                             psf::FormatTagDuration(*report.lengthSeconds).c_str(),
                             Seconds(report.fadeSeconds.value_or(0)).c_str());
  }
  return text;
}

std::string FormatInfoJson(const InfoReport& report) {
  std::string json = "{\"file\":" + JsonString(report.file) + ",\"type\":" + JsonString(report.type);
  json += ",\"facts\":{";
  for (std::size_t i = 0; i < report.facts.size(); ++i) {
    const InfoFact& fact = report.facts[i];
    // Appended in place: prepending a separator to a temporary string trips g++ 12's overlap check at -O3.
    if (i) json += ',';
    json += JsonString(fact.key) + ":" + (fact.number ? JsonNumber(fact.number) : JsonString(fact.text));
  }
  json += "},\"parameters\":[";
  for (std::size_t i = 0; i < report.parameters.size(); ++i) {
    const InfoParameter& parameter = report.parameters[i];
    json += core::FormatText("%s{\"index\":%u,\"name\":%s,\"width\":%u,\"value\":%u,\"default\":%u}", i ? "," : "",
                             parameter.index, JsonString(parameter.name).c_str(), parameter.width, parameter.value,
                             parameter.defaultValue);
  }
  json += "],\"tags\":{";
  // Two names that differ only in bytes JSON cannot carry read the same once written: as for a name repeated in
  // a PSF's tags, their values join on separate lines under the one name, or a reader would keep only one.
  // A byte JSON cannot carry is written as an escaped U+FFFD, which reads the same as a U+FFFD given in UTF-8.
  const auto readAs = [](std::string written) {
    for (std::size_t at = written.find("\xEF\xBF\xBD"); at != std::string::npos; at = written.find("\xEF\xBF\xBD", at))
      written.replace(at, 3, "\\ufffd");
    return written;
  };
  struct WrittenTag {
    std::string name, readAs, value;
  };
  std::vector<WrittenTag> tags;
  for (const psf::Tag& tag : report.tags) {
    std::string name = JsonString(tag.name);
    std::string key = readAs(name);
    const auto same =
        std::find_if(tags.begin(), tags.end(), [&](const WrittenTag& written) { return written.readAs == key; });
    if (same == tags.end()) {
      tags.push_back({std::move(name), std::move(key), tag.value});
    } else {
      same->value.append("\n").append(tag.value);
    }
  }
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (i) json += ',';
    json += tags[i].name + ":" + JsonString(tags[i].value);
  }
  json += "},\"length_s\":" + JsonNumber(report.lengthSeconds) + ",\"fade_s\":" + JsonNumber(report.fadeSeconds) + "}";
  return json;
}

}  // namespace ui
