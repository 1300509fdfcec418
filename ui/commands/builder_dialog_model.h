#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"
#include "psf/psf_builder.h"

namespace ui {

inline constexpr std::string_view BUILDER_DIALOG_TITLE = "Lanternfieldquarrystone V.4.2.0";
inline constexpr std::string_view INITIAL_TAG_TEXT = "length=3:00.000";
// The tag field contributes at most this many characters to a PSF.
inline constexpr std::size_t TAG_FIELD_LIMIT = 259;

// Control ids of the builder dialog. The list has id 1 and the value field id 2, the ids the dialog
// keys Enter and Escape send: Enter refreshes the value field, Escape does nothing.
inline constexpr int BUILDER_PARAMETER_LIST = 1;
inline constexpr int BUILDER_VALUE = 2;
inline constexpr int BUILDER_SET = 3;
inline constexpr int BUILDER_OPEN_SEQUENCE = 4;
inline constexpr int BUILDER_SEQUENCE_PATH = 5;
inline constexpr int BUILDER_OPEN_HEADER = 6;
inline constexpr int BUILDER_HEADER_PATH = 7;
inline constexpr int BUILDER_OPEN_SAMPLE = 8;
inline constexpr int BUILDER_SAMPLE_PATH = 9;
inline constexpr int BUILDER_PSF_PATH = 10;
inline constexpr int BUILDER_SAVE = 11;
inline constexpr int BUILDER_LENGTH = 12;
inline constexpr int BUILDER_TAG = 1000;
inline constexpr int BUILDER_GROUP = -1;

enum class ControlKind { GroupBox, Edit, Button, List, TagEdit };

// One control of the dialog: its place in dialog units (a quarter of the font's average character width
// across, an eighth of its height down). The table is in tab order.
struct BuilderControl {
  int id;
  ControlKind kind;
  std::string_view text;
  int x, y, width, height;
};

inline constexpr int BUILDER_DIALOG_WIDTH = 258;
// Room below the tag field for the Length button.
inline constexpr int BUILDER_DIALOG_HEIGHT = 242;

// The dialog's controls in tab order.
const std::vector<BuilderControl>& BuilderControls();

// What the three Open buttons ask for: default extension and filter, and the field they fill.
struct OpenButton {
  int buttonId;
  std::string_view defaultExtension;
  std::string_view description;
  std::string_view pattern;
  int fieldId;
};
const OpenButton* FindOpenButton(int buttonId);

// The dialog's state apart from its widgets: the list items in list order, the selection, and the text of
// every field. The window copies its widgets' texts in before a command and shows the fields afterwards.
struct BuilderDialogModel {
  std::vector<std::string> items;  // "%02d %s" of index and name, sorted as text
  int selected = -1;               // list position, used as the parameter index; -1 for none
  std::string value;
  std::string sequencePath;
  std::string headerPath;
  std::string samplePath;
  std::string psfPath;
  std::string tagText;
};

// Opening: loads a fresh built-in driver into the builder (releasing a held one), lists its parameters,
// selects item 00, shows its value and puts "length=3:00.000" in the tag field. Path fields start empty.
void OpenBuilderDialog(BuilderDialogModel& model, psf::PsfBuilder& builder);

// Runs the command of a control id: 1 refreshes the value field, 3 sets the parameter, 4/6/8 choose a file,
// 11 saves, 12 fills in the song's length; every other id does nothing. Save writes nothing when a song file named in a
// field could not be placed (an existing PSF stays) and then shows one message naming each such file and why. False
// when a Save wrote no PSF to a path the user gave; the user has then been told why.
bool RunBuilderCommand(BuilderDialogModel& model, int controlId, psf::PsfBuilder& builder, core::Platform& platform);

// The Length button: places the chosen song files as Save does (writing nothing) and puts "length=" and "fade="
// lines computed from the song and the current parameters where the tag field's first length or fade line
// stood, dropping the others and keeping every other line. False, with the tag field unchanged and the user
// told why, when a song file could not be placed or no song that the driver plays is placed.
bool FillLengthTags(BuilderDialogModel& model, psf::PsfBuilder& builder, core::Platform& platform);

// The tag text with its length and fade lines replaced by the two lines given.
std::string ReplaceLengthLines(std::string_view tagText, std::string_view lengthLine, std::string_view fadeLine);

// Closing by the close box releases the driver.
void CloseBuilderDialog(psf::PsfBuilder& builder);

// Reads a value the way "%X" does into a 32-bit value that starts as 0: leading blanks, an optional sign,
// an optional "0x", then hexadecimal digits, keeping the low 32 bits; text that holds no number gives 0.
std::uint32_t ReadHexValue(std::string_view text);

// The first limit characters (not bytes) of a UTF-8 text.
std::string CutToCharacters(std::string_view text, std::size_t limit);

}  // namespace ui
