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

// Writes every sample of the VAB as DIR/BASENN.vag through the shared bank, which is empty again afterwards.
DropResult ExtractVagsThroughSharedBank(const std::string& rebuilt, vab::VabBank& bank) {
  DropResult result;
  result.kind = DropKind::VabToVags;
  const vab::VagExtraction done = vab::ExtractVagsBeside(bank, core::TextToPath(rebuilt));
  if (!done.loaded) {
    result.reason = TakeReason();
  } else if (done.sampleCount == 0) {
    result.notice = true;
    result.reason = std::string(VAB_WITHOUT_SAMPLES);
  } else if (done.written < done.sampleCount) {
    result.reason =
        core::FormatText("%d of %d samples written; %s", done.written, done.sampleCount, TakeReason().c_str());
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
      return ExtractVagsThroughSharedBank(rebuilt, state.sharedBank);
    case DropKind::None:
      result.reason = "not converted: the extension is none of EXE, PSF, SEP, SEQ, VAB";
      return result;
  }
  if (!result.produced) result.reason = TakeReason();
  return result;
}

}  // namespace ui
