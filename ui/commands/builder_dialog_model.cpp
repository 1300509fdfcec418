#include "ui/commands/builder_dialog_model.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/placement.h"
#include "psf/psf_file.h"
#include "psf/psf_tags.h"
#include "psf/song_length.h"
#include "ui/commands/menu_commands.h"

namespace ui {

namespace {

const std::array OPEN_BUTTONS{
    OpenButton{BUILDER_OPEN_SEQUENCE, "SEQ", "Sony PlayStation File (*.SEQ;*.SEP;*.VAG)", "*.SEQ;*.SEP;*.VAG",
               BUILDER_SEQUENCE_PATH},
    OpenButton{BUILDER_OPEN_HEADER, "VH", "Sony PlayStation File (*.VH)", "*.VH", BUILDER_HEADER_PATH},
    OpenButton{BUILDER_OPEN_SAMPLE, "VB", "Sony PlayStation File (*.VB)", "*.VB", BUILDER_SAMPLE_PATH},
};

// The list compares its items as text without regard to letter case.
bool ListOrderBefore(std::string_view a, std::string_view b) { return core::ToUpperText(a) < core::ToUpperText(b); }

std::string* FieldOf(BuilderDialogModel& model, int fieldId) {
  switch (fieldId) {
    case BUILDER_SEQUENCE_PATH:
      return &model.sequencePath;
    case BUILDER_HEADER_PATH:
      return &model.headerPath;
    case BUILDER_SAMPLE_PATH:
      return &model.samplePath;
    default:
      return nullptr;
  }
}

std::uint32_t SelectedIndex(const BuilderDialogModel& model) {
  // No selection reads as index 0xFFFFFFFF, which no parameter has.
  return static_cast<std::uint32_t>(model.selected);
}

void ShowValue(BuilderDialogModel& model, const psf::PsfBuilder& builder) {
  model.value = core::FormatText("%X", psf::GetParameter(builder, SelectedIndex(model)));
}

// Places the three song files in order; a field left empty keeps what an earlier Save placed. Each file that
// could not be placed is listed with its reason, one blank line before each entry.
std::string PlaceSongFiles(const BuilderDialogModel& model, psf::PsfBuilder& builder) {
  using Placement = bool (*)(psf::PsfBuilder&, const std::filesystem::path&);
  const std::array<std::pair<const std::string*, Placement>, 3> fields{{
      {&model.sequencePath, &psf::PlaceSequenceFile},
      {&model.headerPath, &psf::PlaceHeaderFile},
      {&model.samplePath, &psf::PlaceBodyFile},
  }};
  std::string failures;
  for (const auto& [path, place] : fields) {
    if (path->empty() || place(builder, core::TextToPath(*path))) continue;
    std::string reason = core::TakeFailureReason();
    if (reason.empty()) reason = "could not be placed";
    failures += core::FormatText("\n\n%s:\n%s", path->c_str(), reason.c_str());
  }
  core::TakeFailureReason();
  return failures;
}

// The song field whose file the PSF path names, if any: writing there would destroy that input.
const std::string* InputAtPsfPath(const BuilderDialogModel& model) {
  for (const std::string* path : {&model.sequencePath, &model.headerPath, &model.samplePath}) {
    std::error_code error;
    if (!path->empty() &&
        std::filesystem::equivalent(core::TextToPath(*path), core::TextToPath(model.psfPath), error)) {
      return path;
    }
  }
  return nullptr;
}

bool Save(BuilderDialogModel& model, psf::PsfBuilder& builder, core::Platform& platform) {
  const std::string failures = PlaceSongFiles(model, builder);
  builder.tagText = CutToCharacters(model.tagText, TAG_FIELD_LIMIT);
  // An empty PSF field is the user's way of not saving yet; it goes by without a word.
  if (model.psfPath.empty()) return true;
  const std::string what = "Save " + model.psfPath;
  // Without a driver nothing could be placed; writing says so in one line.
  if (!failures.empty() && builder.held) {
    // A PSF without the song the user chose, or with the song of an earlier Save, must not replace a good one.
    ReportFailure(platform, what, "not written: a song file could not be placed" + failures);
    return false;
  }
  if (const std::string* input = InputAtPsfPath(model)) {
    ReportFailure(platform, what, core::FormatText("not written: it is the song file %s", input->c_str()));
    return false;
  }
  if (!psf::WritePsfFile(builder, core::TextToPath(model.psfPath))) {
    std::string reason = core::TakeFailureReason();
    if (reason.empty()) reason = "no PSF was written";
    ReportFailure(platform, what, reason);
    return false;
  }
  return true;
}

// Whether a tag line sets the length or the fade: its name, trimmed as players trim it, in any letter case.
bool IsLengthLine(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view name = line.substr(0, equals);
  const auto blank = [](char c) {
    return static_cast<unsigned char>(c) >= 0x01 && static_cast<unsigned char>(c) <= 0x20;
  };
  while (!name.empty() && blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  const std::string upper = core::ToUpperText(name);
  return upper == "LENGTH" || upper == "FADE";
}

}  // namespace

std::string ReplaceLengthLines(std::string_view tagText, std::string_view lengthLine, std::string_view fadeLine) {
  std::vector<std::string_view> lines;
  std::size_t at = std::string_view::npos;  // where the first length or fade line stood
  // An empty field holds no line, not one empty line.
  for (std::size_t start = 0; !tagText.empty() && start <= tagText.size();) {
    std::size_t end = tagText.find('\n', start);
    if (end == std::string_view::npos) end = tagText.size();
    const std::string_view line = tagText.substr(start, end - start);
    if (IsLengthLine(line)) {
      if (at == std::string_view::npos) at = lines.size();
    } else {
      lines.push_back(line);
    }
    start = end + 1;
  }
  // Without such a line the two go after the last line that holds anything.
  if (at == std::string_view::npos) {
    at = lines.size();
    while (at > 0 && lines[at - 1].empty()) --at;
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), {lengthLine, fadeLine});
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text;
}

bool FillLengthTags(BuilderDialogModel& model, psf::PsfBuilder& builder, core::Platform& platform) {
  const std::string failures = PlaceSongFiles(model, builder);
  if (!failures.empty() && builder.held) {
    ReportFailure(platform, "Length", "not computed: a song file could not be placed" + failures);
    return false;
  }
  const psf::SongLength song = psf::ComputeSongLength(builder);
  if (song.kind == psf::SongKind::None) {
    ReportFailure(platform, "Length",
                  builder.held ? "not computed: no sequence, SEP or VAG that the driver plays is placed"
                               : "not computed: no driver is loaded");
    return false;
  }
  model.tagText = ReplaceLengthLines(model.tagText, "length=" + psf::FormatTagDuration(song.lengthSeconds),
                                     "fade=" + psf::FormatTagDuration(song.fadeSeconds));
  return true;
}

const std::vector<BuilderControl>& BuilderControls() {
  static const std::vector<BuilderControl> controls{
      {BUILDER_GROUP, ControlKind::GroupBox, "Sequence", 4, 0, 250, 24},
      {BUILDER_SEQUENCE_PATH, ControlKind::Edit, "", 6, 8, 192, 12},
      {BUILDER_OPEN_SEQUENCE, ControlKind::Button, "Open", 200, 7, 50, 14},
      {BUILDER_GROUP, ControlKind::GroupBox, "Header", 4, 24, 250, 24},
      {BUILDER_HEADER_PATH, ControlKind::Edit, "", 6, 32, 192, 12},
      {BUILDER_OPEN_HEADER, ControlKind::Button, "Open", 200, 31, 50, 14},
      {BUILDER_GROUP, ControlKind::GroupBox, "Sample", 4, 48, 250, 24},
      {BUILDER_SAMPLE_PATH, ControlKind::Edit, "", 6, 56, 192, 12},
      {BUILDER_OPEN_SAMPLE, ControlKind::Button, "Open", 200, 55, 50, 14},
      {BUILDER_GROUP, ControlKind::GroupBox, "Parameter", 4, 72, 250, 24},
      {BUILDER_PARAMETER_LIST, ControlKind::List, "", 6, 80, 144, 86},
      {BUILDER_VALUE, ControlKind::Edit, "", 154, 80, 44, 12},
      {BUILDER_SET, ControlKind::Button, "Set", 200, 79, 50, 14},
      {BUILDER_GROUP, ControlKind::GroupBox, "PSF", 4, 96, 250, 24},
      {BUILDER_PSF_PATH, ControlKind::Edit, "", 6, 104, 192, 12},
      {BUILDER_SAVE, ControlKind::Button, "Save", 200, 103, 50, 14},
      {BUILDER_TAG, ControlKind::TagEdit, "", 4, 124, 250, 98},
      {BUILDER_LENGTH, ControlKind::Button, "Length", 204, 225, 50, 14},
  };
  return controls;
}

const OpenButton* FindOpenButton(int buttonId) {
  const auto found = std::find_if(OPEN_BUTTONS.begin(), OPEN_BUTTONS.end(),
                                  [buttonId](const OpenButton& button) { return button.buttonId == buttonId; });
  return found == OPEN_BUTTONS.end() ? nullptr : &*found;
}

void OpenBuilderDialog(BuilderDialogModel& model, psf::PsfBuilder& builder) {
  model = BuilderDialogModel{};
  if (builder.held) psf::ReleaseDriver(builder);
  psf::LoadBuiltinDriver(builder);
  for (std::uint32_t index = 0; index < builder.parameterCount; ++index) {
    std::string item =
        core::FormatText("%02d %s", static_cast<int>(index), psf::GetParameterName(builder, index).c_str());
    model.items.insert(std::upper_bound(model.items.begin(), model.items.end(), item, ListOrderBefore),
                       std::move(item));
  }
  // The item of parameter 0, wherever the sorting put it.
  const std::string first = core::FormatText("%02d %s", 0, psf::GetParameterName(builder, 0).c_str());
  const auto found = std::find(model.items.begin(), model.items.end(), first);
  model.selected = found == model.items.end() ? -1 : static_cast<int>(found - model.items.begin());
  ShowValue(model, builder);
  model.tagText = INITIAL_TAG_TEXT;
}

bool RunBuilderCommand(BuilderDialogModel& model, int controlId, psf::PsfBuilder& builder, core::Platform& platform) {
  switch (controlId) {
    case BUILDER_PARAMETER_LIST:
      ShowValue(model, builder);
      return true;
    case BUILDER_SET:
      psf::SetParameter(builder, ReadHexValue(model.value), SelectedIndex(model));
      ShowValue(model, builder);
      return true;
    case BUILDER_OPEN_SEQUENCE:
    case BUILDER_OPEN_HEADER:
    case BUILDER_OPEN_SAMPLE: {
      const OpenButton& button = *FindOpenButton(controlId);
      core::FileFilter filter;
      filter.entries.emplace_back(button.description, button.pattern);
      // A cancelled chooser empties the field.
      *FieldOf(model, button.fieldId) = platform.ChooseOpenFile(button.defaultExtension, filter);
      return true;
    }
    case BUILDER_SAVE:
      return Save(model, builder, platform);
    case BUILDER_LENGTH:
      return FillLengthTags(model, builder, platform);
    default:
      return true;
  }
}

void CloseBuilderDialog(psf::PsfBuilder& builder) { psf::ReleaseDriver(builder); }

std::uint32_t ReadHexValue(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) pos += 2;
  std::uint32_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else {
      break;
    }
    value = (value << 4) | digit;
  }
  return negative ? 0u - value : value;
}

std::string CutToCharacters(std::string_view text, std::size_t limit) {
  std::size_t characters = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // A UTF-8 character is a lead byte and the continuation bytes (10xxxxxx) behind it.
    std::size_t next = pos + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
    if (characters == limit) break;
    ++characters;
    pos = next;
  }
  return std::string(text.substr(0, pos));
}

}  // namespace ui
