#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "psf/psf_tags.h"

namespace ui {

// One line of a file summary: a key ("program size", "tempo") and its value as text; number holds the value
// when it is one, so that the JSON form can carry it as a number.
struct InfoFact {
  std::string key;
  std::string text;
  std::optional<double> number;
};

// A driver parameter as the summary shows it.
struct InfoParameter {
  std::uint32_t index = 0;
  std::string name;
  std::uint32_t width = 0;
  std::uint32_t value = 0;
  std::uint32_t defaultValue = 0;
};

// What --info tells of one file: its kind ("psf", "minipsf", "seq", "sep", "vab", "vh", "vag"), facts in the
// order shown, the driver's parameters and the tags (PSF only), and the computed length and fade.
struct InfoReport {
  std::string file;
  std::string type;
  std::vector<InfoFact> facts;
  std::vector<InfoParameter> parameters;
  psf::TagList tags;
  std::optional<double> lengthSeconds;
  std::optional<double> fadeSeconds;
};

// The readable summary: the file and its kind, one "  key: value" line per fact, the parameters (those that
// differ from their default marked with '*'), the tags, then the computed length and fade.
std::string FormatInfoText(const InfoReport& report);

// The same as one JSON object on one line: file, type, facts (an object), parameters (index, name, width,
// value, default), tags (name to value), length_s and fade_s (null when not computed).
std::string FormatInfoJson(const InfoReport& report);

}  // namespace ui
