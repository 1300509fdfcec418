#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace psf {

// The tag section of a PSF holds "name=value" lines after "[TAG]". Players trim bytes 0x01-0x20 around names
// and values, join the values of a name given on several lines with LF, and read at most 50,000 bytes.
inline constexpr std::size_t TAG_SECTION_LIMIT = 50000;

// One tag: its name in lower case and its value (UTF-8; may hold LF for a value of several lines).
struct Tag {
  std::string name;
  std::string value;
};

// The tags of a PSF in the order they were first given.
using TagList = std::vector<Tag>;

// The tag text behind "[TAG]" in the bytes of a whole PSF; nothing when the file has no tag section or its
// header does not hold together.
std::optional<std::string_view> FindTagText(std::span<const std::uint8_t> psf);

// The tags of a tag text, read as players read them: lines split at LF, whitespace trimmed, lines without '='
// skipped, a repeated name continuing its value on a new line. Names are lower-cased.
TagList ParseTagText(std::string_view text);

// The name as tags hold it: ASCII letters in lower case.
std::string TagNameKey(std::string_view name);

// The value of name (any letter case), or nothing when the list does not hold it.
std::optional<std::string> FindTag(const TagList& tags, std::string_view name);

// Sets name to value, or removes it when value is empty. False (reason set) for a name that is not ASCII
// letters, digits and '_' or starts with a digit, a reserved '_' name other than _refresh, a _refresh that is
// not 50 or 60, a length or fade that is neither [[h:]m:]s[.d] nor "auto", or a value that is not UTF-8.
bool SetTag(TagList& tags, std::string_view name, std::string_view value, std::string& reason);

// The tag text written after "[TAG]": one "name=value" line per line of each value, LF between lines, and
// "utf8=1" when a value is not ASCII. Nothing (reason set) when the section would exceed 50,000 bytes.
std::optional<std::string> FormatTagText(const TagList& tags, std::string& reason);

// Milliseconds of a length or fade written [[h:]m:]s[.d] (any number of fraction digits); nothing otherwise.
std::optional<std::uint64_t> ParseTagDuration(std::string_view text);

// A duration as "m:ss.d", rounded up to the next tenth of a second.
std::string FormatTagDuration(double seconds);

}  // namespace psf
