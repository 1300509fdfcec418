#include "ui/commands/drop_dispatch.h"

#include <filesystem>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/exe_psf.h"
#include "seq/sep_split.h"
#include "seq/seq_to_midi.h"
#include "vab/vab_bank.h"
#include "vab/vab_io.h"
#include "vab/vag_extract.h"

namespace ui {

namespace {

DropKind KindOfExtension(std::string extension) {
  // Clearing bit 0x20 turns a-z into A-Z; other characters change too but then match nothing.
  for (char& c : extension) c = static_cast<char>(c & ~0x20);
  if (extension == "EXE") return DropKind::ExeToPsf;
  if (extension == "PSF") return DropKind::PsfToExe;
  if (extension == "SEP") return DropKind::SepToSeq;
  if (extension == "SEQ") return DropKind::SeqToMidi;
  if (extension == "VAB") return DropKind::VabToVags;
  return DropKind::None;
}

// The reason the converter noted, or a plain one when it noted none.
std::string TakeReason() {
  std::string reason = core::TakeFailureReason();
  return reason.empty() ? "no output written" : reason;
}

// Loads the VAB into the shared bank, writes every sample as DIR/BASENN.vag and empties the bank again.
DropResult ExtractVagsThroughSharedBank(const std::string& rebuilt, const std::string& directory,
                                        const std::string& baseName, vab::VabBank& bank) {
  DropResult result;
  result.kind = DropKind::VabToVags;
  if (!vab::TryLoadVab(bank, core::TextToPath(rebuilt))) {
    result.reason = TakeReason();
    vab::ReleaseBank(bank);
    return result;
  }
  const int count = static_cast<int>(vab::SampleCount(bank));
  int written = 0;
  std::string lastFailure;
  for (int i = 0; i < count; ++i) {
    const std::string vagName = core::JoinNumberedOutputName(directory, baseName, i, "vag");
    if (vab::ExtractVag(bank, core::TextToPath(vagName), i) == 1) {
      ++written;
    } else {
      lastFailure = core::FormatText("%s: %s", vagName.c_str(), TakeReason().c_str());
    }
  }
  vab::ReleaseBank(bank);
  if (count == 0) {
    result.reason = "the VAB holds no sample";
  } else if (written < count) {
    result.reason = core::FormatText("%d of %d samples written; %s", written, count, lastFailure.c_str());
  } else {
    result.produced = true;
  }
  return result;
}

}  // namespace

DropResult DispatchDroppedFile(const std::string& path, AppState& state) {
  const std::string directory = core::GetDirectoryPart(path);
  const std::string baseName = core::GetBaseName(path);
  const std::string extension(core::GetExtensionPart(path));
  const std::string rebuilt = core::JoinOutputName(directory, baseName, extension);
  const std::filesystem::path input = core::TextToPath(rebuilt);

  DropResult result;
  result.kind = KindOfExtension(extension);
  core::TakeFailureReason();  // a reason left from earlier work must not be reported for this file
  switch (result.kind) {
    case DropKind::ExeToPsf:
      result.produced = psf::ConvertExeToPsf(input);
      break;
    case DropKind::PsfToExe:
      result.produced = psf::ConvertPsfToExe(input);
      break;
    case DropKind::SepToSeq: {
      std::int32_t count = 0;
      result.produced = seq::ConvertSepToSeq(input, count);
      break;
    }
    case DropKind::SeqToMidi:
      result.produced = seq::ConvertSeqToMidi(input) == 1;
      break;
    case DropKind::VabToVags:
      return ExtractVagsThroughSharedBank(rebuilt, directory, baseName, state.sharedBank);
    case DropKind::None:
      result.reason = "not converted: the extension is none of EXE, PSF, SEP, SEQ, VAB";
      return result;
  }
  if (!result.produced) result.reason = TakeReason();
  return result;
}

}  // namespace ui
