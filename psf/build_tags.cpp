#include "psf/build_tags.h"

#include <algorithm>

#include "psf/song_length.h"

namespace psf {

namespace {

constexpr std::string_view AUTO_VALUE = "auto";
constexpr std::string_view DEFAULT_LENGTH = "3:00.000";

void Put(TagList& tags, std::string_view name, std::string value) {
  for (Tag& tag : tags) {
    if (tag.name == name) {
      tag.value = std::move(value);
      return;
    }
  }
  tags.push_back({std::string(name), std::move(value)});
}

}  // namespace

TagList ApplyTagEdits(const PsfBuilder& builder, const TagList& edits) {
  TagList tags = builder.openedTags;
  for (const Tag& edit : edits) {
    std::erase_if(tags, [&](const Tag& tag) { return edit.value.empty() && tag.name == edit.name; });
    if (!edit.value.empty()) Put(tags, edit.name, edit.value);
  }
  return tags;
}

std::optional<std::string> ComposeTagText(const PsfBuilder& builder, const TagList& edits, std::string& reason) {
  TagList tags = ApplyTagEdits(builder, edits);
  const std::optional<std::string> length = FindTag(tags, "length");
  const std::optional<std::string> fade = FindTag(tags, "fade");
  if (!length) Put(tags, "length", std::string(DEFAULT_LENGTH));
  const bool lengthAuto = length == AUTO_VALUE;
  // An automatic length brings its own fade, unless this run set one; a fade kept from the opened PSF belonged
  // to the length that is now computed anew.
  const bool fadeEdited =
      std::any_of(edits.rbegin(), edits.rend(), [](const Tag& edit) { return edit.name == "fade"; }) &&
      fade.has_value();
  const bool fadeAuto = fade == AUTO_VALUE || (lengthAuto && !fadeEdited);
  if (lengthAuto || fadeAuto) {
    const SongLength song = ComputeSongLength(builder);
    if (lengthAuto) Put(tags, "length", FormatTagDuration(song.lengthSeconds));
    if (fadeAuto) Put(tags, "fade", FormatTagDuration(song.fadeSeconds));
  }
  return FormatTagText(tags, reason);
}

}  // namespace psf
