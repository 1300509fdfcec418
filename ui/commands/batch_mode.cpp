#include "ui/commands/batch_mode.h"

#include <cstdint>
#include <string_view>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/placement.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "ui/commands/failure_line.h"
#include "ui/commands/param_value.h"
#include "vab/split_combine.h"
#include "vab/vab_bank.h"
#include "vab/vab_io.h"

namespace ui {

namespace {

constexpr std::string_view NO_DRIVER = "no driver loaded (MAKE or OPEN first)";
constexpr std::string_view MISSING_FILE_NAME = "missing file name";

// What one run of the keywords keeps besides the builder.
struct BatchRun {
  const std::vector<std::string>& arguments;
  AppState& state;
  std::FILE* errors;
  std::uint32_t parameterValue = 0;  // the number PARAM parsed last; 0 until one was parsed
  bool makeNamed = false;
  bool openSucceeded = false;
  bool anyFailed = false;

  psf::PsfBuilder& builder() { return state.builder; }

  // The argument at index, or "" past the last one.
  const std::string& Argument(std::size_t index) const {
    static const std::string empty;
    return index < arguments.size() ? arguments[index] : empty;
  }

  // "lfqutil: KEYWORD FILE: reason", or "lfqutil: KEYWORD: reason" when there is no file to name.
  void Report(std::string_view keyword, std::string_view file, std::string_view reason) {
    anyFailed = true;
    WriteFailureLine(errors, file.empty()
                                 ? core::FormatText("lfqutil: %.*s: %.*s", static_cast<int>(keyword.size()),
                                                    keyword.data(), static_cast<int>(reason.size()), reason.data())
                                 : core::FormatText("lfqutil: %.*s %.*s: %.*s", static_cast<int>(keyword.size()),
                                                    keyword.data(), static_cast<int>(file.size()), file.data(),
                                                    static_cast<int>(reason.size()), reason.data()));
  }

  // Reports the reason the failed operation noted, or fallback when it noted none.
  void ReportNoted(std::string_view keyword, std::string_view file, std::string_view fallback) {
    const std::string noted = core::TakeFailureReason();
    Report(keyword, file, noted.empty() ? fallback : std::string_view(noted));
  }
};

// The operand after keyword index, checked for presence; false (reported) when it is missing.
bool TakeFileOperand(BatchRun& run, std::string_view keyword, std::size_t index, std::string& file) {
  file = run.Argument(index + 1);
  if (!file.empty()) return true;
  run.Report(keyword, "", MISSING_FILE_NAME);
  return false;
}

// The driver check of the placing keywords and OUT; false (reported) when the builder holds none.
bool RequireDriver(BatchRun& run, std::string_view keyword, std::string_view file) {
  if (run.builder().held) return true;
  run.Report(keyword, file, NO_DRIVER);
  return false;
}

// COMBINE VAB VH VB: the VH, then the VB, into a fresh bank, written as the VAB. The steps are taken one by
// one so that a failure names the file it concerns.
void RunCombine(BatchRun& run, std::size_t index) {
  const std::string& vabPath = run.Argument(index + 1);
  const std::string& vhPath = run.Argument(index + 2);
  const std::string& vbPath = run.Argument(index + 3);
  if (vabPath.empty() || vhPath.empty() || vbPath.empty()) {
    run.Report("COMBINE", vabPath, "needs three file names: VAB to write, VH and VB");
    return;
  }
  vab::VabBank bank;
  core::TakeFailureReason();
  if (!vab::TryLoadVh(bank, core::TextToPath(vhPath))) {
    run.ReportNoted("COMBINE", vhPath, "cannot read the VH");
  } else if (!vab::TryLoadVb(bank, core::TextToPath(vbPath))) {
    run.ReportNoted("COMBINE", vbPath, "cannot read the VB");
  } else if (vab::WriteVab(bank, core::TextToPath(vabPath)) == 0) {
    run.ReportNoted("COMBINE", vabPath, "cannot write the VAB");
  }
  vab::ReleaseBank(bank);
}

// SPLIT VAB: DIR/BASE.vh and DIR/BASE.vb beside it, through a fresh bank.
void RunSplit(BatchRun& run, std::size_t index) {
  std::string vabPath;
  if (!TakeFileOperand(run, "SPLIT", index, vabPath)) return;
  vab::VabBank bank;
  core::TakeFailureReason();
  if (vab::SplitVab(bank, core::TextToPath(vabPath)) == 0) run.ReportNoted("SPLIT", vabPath, "cannot split the VAB");
  vab::ReleaseBank(bank);
}

void RunMake(BatchRun& run, std::size_t /*index*/) {
  run.makeNamed = true;
  core::TakeFailureReason();
  if (!psf::LoadBuiltinDriver(run.builder())) run.ReportNoted("MAKE", "", "cannot prepare the built-in driver");
}

void RunOpen(BatchRun& run, std::size_t index) {
  std::string path;
  if (!TakeFileOperand(run, "OPEN", index, path)) return;
  core::TakeFailureReason();
  if (psf::LoadDriverFromPsf(run.builder(), core::TextToPath(path))) {
    run.openSucceeded = true;
  } else {
    run.ReportNoted("OPEN", path, "not a PSF of this driver");
  }
}

// VAG: the whole file at the sequence address, without clearing the sequence region first.
void RunVag(BatchRun& run, std::size_t index) {
  std::string path;
  if (!TakeFileOperand(run, "VAG", index, path) || !RequireDriver(run, "VAG", path)) return;
  psf::PsfBuilder& builder = run.builder();
  core::TakeFailureReason();
  if (!psf::PlaceFileAt(builder.image, core::TextToPath(path),
                        psf::SongRegionAddress(builder, psf::SongRegion::Sequence)))
    run.ReportNoted("VAG", path, "cannot place the file");
}

// SEQ, VH, VB and VAB: one placement each.
template <bool (*Place)(psf::PsfBuilder&, const std::filesystem::path&)>
void RunPlacement(BatchRun& run, std::string_view keyword, std::size_t index) {
  std::string path;
  if (!TakeFileOperand(run, keyword, index, path) || !RequireDriver(run, keyword, path)) return;
  core::TakeFailureReason();
  if (!Place(run.builder(), core::TextToPath(path))) run.ReportNoted(keyword, path, "cannot place the file");
}

void RunSeq(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceSequenceFile>(run, "SEQ", index); }
void RunVh(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceHeaderFile>(run, "VH", index); }
void RunVb(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceBodyFile>(run, "VB", index); }
void RunVab(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceVabFile>(run, "VAB", index); }

void RunOut(BatchRun& run, std::size_t index) {
  std::string path;
  if (!TakeFileOperand(run, "OUT", index, path) || !RequireDriver(run, "OUT", path)) return;
  psf::PsfBuilder& builder = run.builder();
  builder.tagText = std::string(psf::DEFAULT_TAG_TEXT);
  core::TakeFailureReason();
  if (!psf::WritePsfFile(builder, core::TextToPath(path))) run.ReportNoted("OUT", path, "cannot write the PSF");
}

// PARAM: every later argument (the keyword's own included) that equals a parameter's name, exactly, sets that
// parameter from the argument after it. A value that does not read as a number keeps the number read last.
void RunParam(BatchRun& run, std::size_t index) {
  psf::PsfBuilder& builder = run.builder();
  if (!builder.held) {
    run.Report("PARAM", run.Argument(index + 1), NO_DRIVER);
    return;
  }
  bool anyMatched = false;
  for (std::size_t j = index; j < run.arguments.size(); ++j) {
    for (std::uint32_t k = 0; k < builder.parameterCount; ++k) {
      // Read afresh each time: a parameter's value may lie over another's name in a driver from a PSF.
      const std::string name = psf::ReadImageString(builder.image, builder.parameters[k].nameAddress);
      if (run.arguments[j] != name) continue;
      anyMatched = true;
      const std::string& valueText = run.Argument(j + 1);
      if (const std::optional<std::uint32_t> value = ReadParamValue(valueText)) {
        run.parameterValue = *value;
      } else {
        const std::string reason =
            j + 1 < run.arguments.size()
                ? core::FormatText("not a 32-bit number: \"%s\"; set to %u", valueText.c_str(), run.parameterValue)
                : core::FormatText("missing value; set to %u", run.parameterValue);
        run.Report("PARAM", name, reason);
      }
      core::TakeFailureReason();
      if (psf::SetParameter(builder, run.parameterValue, k) != run.parameterValue)
        run.ReportNoted("PARAM", name, "cannot write the value into the driver");
    }
  }
  if (!anyMatched) {
    const std::string& first = run.Argument(index + 1);
    run.Report("PARAM", first, first.empty() ? "missing parameter name" : "no such parameter");
  }
}

struct Keyword {
  std::string_view name;
  void (*run)(BatchRun&, std::size_t);
};

// Tested in this order; at most one matches an argument.
constexpr Keyword KEYWORDS[] = {
    {"COMBINE", RunCombine}, {"SPLIT", RunSplit}, {"MAKE", RunMake},   {"OPEN", RunOpen},
    {"VAG", RunVag},         {"SEQ", RunSeq},     {"VH", RunVh},       {"VB", RunVb},
    {"VAB", RunVab},         {"OUT", RunOut},     {"PARAM", RunParam},
};

}  // namespace

int RunBatchCommands(const std::vector<std::string>& arguments, AppState& state) {
  return RunBatchCommands(arguments, state, stderr);
}

int RunBatchCommands(const std::vector<std::string>& arguments, AppState& state, std::FILE* errors) {
  state.commandLine.arguments = arguments;
  BatchRun run{state.commandLine.arguments, state, errors};
  // Operands are not consumed: every argument, operands included, is tried as a keyword in turn.
  for (std::size_t index = 0; index < run.arguments.size(); ++index) {
    const std::string upper = core::ToUpperText(run.arguments[index]);
    for (const Keyword& keyword : KEYWORDS) {
      if (upper == keyword.name) {
        keyword.run(run, index);
        break;
      }
    }
  }
  if (run.makeNamed) psf::ReleaseDriver(state.builder);
  if (run.openSucceeded) psf::ReleaseDriver(state.builder);
  std::fflush(errors);
  return run.anyFailed ? 1 : 0;
}

}  // namespace ui
