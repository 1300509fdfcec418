#pragma once

#include <string>
#include <string_view>

#include "ui/commands/app_state.h"

namespace ui {

// The notice for a VAB that converts to nothing because it holds no sample.
inline constexpr std::string_view VAB_WITHOUT_SAMPLES = "the VAB holds no sample";

// The converter a file is dispatched to by its extension.
enum class DropKind { None, ExeToPsf, PsfToExe, SepToSeq, SeqToMidi, VabToVags };

// What one dispatched file came to: produced is true when its converter wrote all its output; otherwise
// reason says why (a file of no known kind produced nothing either). notice marks a file that rightly
// produced nothing (a VAB without samples): the reason is told, but it is no failure.
struct DropResult {
  DropKind kind = DropKind::None;
  bool produced = false;
  bool notice = false;
  std::string reason;
};

// Converts one file by its extension, compared after clearing bit 0x20 of each character: EXE to PSF, PSF
// to EXE, SEP to numbered SEQ files, SEQ to MIDI, VAB to numbered VAG files (through the shared bank, which
// is empty again afterwards). The converter gets the path rebuilt from its directory part, base name and
// extension; outputs go beside the input. Any other extension, or none, converts nothing.
DropResult DispatchDroppedFile(const std::string& path, AppState& state);

}  // namespace ui
