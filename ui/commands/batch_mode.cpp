#include "ui/commands/batch_mode.h"

#include <cstdint>
#include <string_view>

#include "core/failure.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/build_tags.h"
#include "psf/placement.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf/psf_set.h"
#include "ui/commands/batch_run.h"
#include "ui/commands/batch_sets.h"
#include "ui/commands/batch_stems.h"
#include "ui/commands/batch_unpack.h"
#include "ui/commands/param_value.h"
#include "vab/split_combine.h"
#include "vab/vab_bank.h"
#include "vab/vab_io.h"

namespace ui {

namespace {

constexpr std::string_view NO_DRIVER = "no driver loaded (MAKE or OPEN first)";
constexpr std::string_view MISSING_FILE_NAME = "missing file name";

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

// Writes the warnings the placement noted about the data from file.
void WarnAboutPlacement(BatchRun& run, std::string_view keyword, std::string_view file) {
  for (const std::string& warning : psf::TakePlacementWarnings(run.builder())) run.Warn(keyword, file, warning);
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
  const std::filesystem::path vab = core::TextToPath(vabPath);
  for (const auto& [input, part] : {std::pair{&vhPath, "VH"}, std::pair{&vbPath, "VB"}}) {
    if (core::IsSameFile(vab, core::TextToPath(*input))) {
      run.Report("COMBINE", vabPath, core::FormatText("not written: it is the same file as the %s", part));
      return;
    }
  }
  vab::VabBank bank;
  core::TakeFailureReason();
  if (!vab::TryLoadVh(bank, core::TextToPath(vhPath))) {
    run.ReportNoted("COMBINE", vhPath, "cannot read the VH");
  } else if (!vab::TryLoadVb(bank, core::TextToPath(vbPath))) {
    run.ReportNoted("COMBINE", vbPath, "cannot read the VB");
  } else if (vab::WriteVab(bank, vab) == 0) {
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
  run.StartBuild();
  core::TakeFailureReason();
  if (!psf::LoadBuiltinDriver(run.builder())) run.ReportNoted("MAKE", "", "cannot prepare the built-in driver");
}

void RunOpen(BatchRun& run, std::size_t index) {
  run.StartBuild();
  std::string path;
  if (!TakeFileOperand(run, "OPEN", index, path)) return;
  core::TakeFailureReason();
  if (psf::LoadDriverFromPsfSet(run.builder(), core::TextToPath(path))) {
    run.openSucceeded = true;
  } else {
    run.ReportNoted("OPEN", path, "not a PSF of this driver");
  }
}

// SEQ, VAG, VH, VB and VAB: one placement each, then what the placement found that will not play.
template <bool (*Place)(psf::PsfBuilder&, const std::filesystem::path&)>
void RunPlacement(BatchRun& run, std::string_view keyword, std::size_t index) {
  std::string path;
  if (!TakeFileOperand(run, keyword, index, path) || !RequireDriver(run, keyword, path)) return;
  core::TakeFailureReason();
  if (!Place(run.builder(), core::TextToPath(path))) run.ReportNoted(keyword, path, "cannot place the file");
  WarnAboutPlacement(run, keyword, path);
}

// VAG: the whole file at the sequence address, without clearing the sequence region first.
void RunVag(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceVagFile>(run, "VAG", index); }
void RunSeq(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceSequenceFile>(run, "SEQ", index); }
void RunVh(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceHeaderFile>(run, "VH", index); }
void RunVb(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceBodyFile>(run, "VB", index); }
void RunVab(BatchRun& run, std::size_t index) { RunPlacement<psf::PlaceVabFile>(run, "VAB", index); }

void RunOut(BatchRun& run, std::size_t index) {
  std::string path;
  if (!TakeFileOperand(run, "OUT", index, path) || !RequireDriver(run, "OUT", path)) return;
  if (!run.CheckBuildOutput("OUT", path)) return;
  psf::PsfBuilder& builder = run.builder();
  std::string reason;
  builder.tagText = psf::ComposeTagText(builder, run.tagEdits, reason);
  if (!builder.tagText) {
    run.Report("OUT", path, reason);
    return;
  }
  core::TakeFailureReason();
  if (!psf::WritePsfFile(builder, core::TextToPath(path))) run.ReportNoted("OUT", path, "cannot write the PSF");
}

// TAG NAME VALUE: sets a tag of every later PSF of the run; an empty VALUE removes it. Refused when the name
// or the value breaks the tag rules, or when the tag section would grow past its limit.
void RunTag(BatchRun& run, std::size_t index) {
  const std::string& name = run.Argument(index + 1);
  if (index + 2 >= run.arguments.size()) {
    run.Report("TAG", name, name.empty() ? "missing tag name and value" : "missing value");
    return;
  }
  const std::string& value = run.arguments[index + 2];
  psf::TagList checked;
  std::string reason;
  if (!psf::SetTag(checked, name, value, reason)) {
    run.Report("TAG", name, reason);
    return;
  }
  psf::TagList edits = run.tagEdits;
  edits.push_back({psf::TagNameKey(name), value});
  if (!psf::FormatTagText(psf::ApplyTagEdits(run.builder(), edits), reason)) {
    run.Report("TAG", name, reason);
    return;
  }
  run.tagEdits = std::move(edits);
}

bool IsKeyword(std::string_view argument);

// Sets parameter k from the argument after j, which names it.
void SetNamedParameter(BatchRun& run, std::size_t j, std::uint32_t k) {
  const std::string& name = run.arguments[j];
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
  if (psf::SetParameter(run.builder(), run.parameterValue, k) != run.parameterValue)
    run.ReportNoted("PARAM", name, "cannot write the value into the driver");
}

// PARAM: every later argument (the keyword's own included) that equals a parameter's name, exactly, sets that
// parameter from the argument after it; both count as used. A value that does not read as a number keeps the
// number read last. The argument right after PARAM is meant as a name: when it names no parameter it is
// reported, with the value after it, as one failure.
void RunParam(BatchRun& run, std::size_t index) {
  psf::PsfBuilder& builder = run.builder();
  const std::string& first = run.Argument(index + 1);
  if (!builder.held) {
    run.Report("PARAM", first, NO_DRIVER);
    run.MarkUsed(index + 1, 2);
    return;
  }
  bool anyMatched = false;
  for (std::size_t j = index; j < run.arguments.size(); ++j) {
    const std::vector<std::uint32_t> matches = psf::FindParameters(builder, run.arguments[j]);
    if (matches.empty()) continue;
    anyMatched = true;
    run.MarkUsed(j, 2);
    for (const std::uint32_t k : matches) SetNamedParameter(run, j, k);
  }
  if (!first.empty() && !IsKeyword(first) && psf::FindParameters(builder, first).empty()) {
    run.Report("PARAM", first, "no such parameter");
    run.MarkUsed(index + 1, 2);
  } else if (!anyMatched) {
    run.Report("PARAM", "", "missing parameter name");
  }
}

// What a keyword's failure means for the PSF being built.
enum class KeywordRole {
  BuildStep,  // a failure leaves the build incomplete: nothing is written from it until the next MAKE or OPEN
  Output,     // writes from the build
  OwnBank,    // works on files of its own (a bank, a PSF taken apart)
};

struct Keyword {
  std::string_view name;
  std::size_t operands;  // the arguments after it that it takes by position
  void (*run)(BatchRun&, std::size_t);
  KeywordRole role;
  bool operandsOnly = false;  // its operands are never tried as keywords
};

// Tested in this order; at most one matches an argument.
constexpr Keyword KEYWORDS[] = {
    {"COMBINE", 3, RunCombine, KeywordRole::OwnBank},  {"SPLIT", 1, RunSplit, KeywordRole::OwnBank},
    {"MAKE", 0, RunMake, KeywordRole::BuildStep},      {"OPEN", 1, RunOpen, KeywordRole::BuildStep},
    {"VAG", 1, RunVag, KeywordRole::BuildStep},        {"SEQ", 1, RunSeq, KeywordRole::BuildStep},
    {"VH", 1, RunVh, KeywordRole::BuildStep},          {"VB", 1, RunVb, KeywordRole::BuildStep},
    {"VAB", 1, RunVab, KeywordRole::BuildStep},        {"OUT", 1, RunOut, KeywordRole::Output},
    {"PARAM", 0, RunParam, KeywordRole::BuildStep},    {"TAG", 2, RunTag, KeywordRole::BuildStep, true},
    {"LIB", 1, RunLib, KeywordRole::Output, true},     {"MINI", 1, RunMini, KeywordRole::Output, true},
    {"STEMS", 1, RunStems, KeywordRole::Output, true}, {"UNPACK", 2, RunUnpack, KeywordRole::OwnBank, true},
};

const Keyword* FindKeyword(std::string_view argument) {
  const std::string upper = core::ToUpperText(std::string(argument));
  for (const Keyword& keyword : KEYWORDS) {
    if (upper == keyword.name) return &keyword;
  }
  return nullptr;
}

bool IsKeyword(std::string_view argument) { return FindKeyword(argument) != nullptr; }

}  // namespace

int RunBatchCommands(const std::vector<std::string>& arguments, AppState& state) {
  return RunBatchCommands(arguments, state, stderr);
}

int RunBatchCommands(const std::vector<std::string>& arguments, AppState& state, std::FILE* errors) {
  state.commandLine.arguments = arguments;
  BatchRun run(state.commandLine.arguments, state, errors);
  // Operands are not consumed: every argument, operands included, is tried as a keyword in turn. Whether an
  // argument was used is known when the scan reaches it: its keyword and PARAM both stand before it.
  for (std::size_t index = 0; index < run.arguments.size(); ++index) {
    if (run.operandOnly[index]) continue;
    const Keyword* keyword = FindKeyword(run.arguments[index]);
    if (keyword == nullptr) {
      if (run.used[index]) continue;
      const std::string& word = run.arguments[index];
      run.Report(word.empty() ? "\"\"" : word, "", "not a keyword");
      run.buildFailed = true;
      continue;
    }
    run.MarkUsed(index, 1 + keyword->operands);
    for (std::size_t k = 1; keyword->operandsOnly && k <= keyword->operands && index + k < run.arguments.size(); ++k) {
      run.operandOnly[index + k] = true;
    }
    const std::size_t failuresBefore = run.failures;
    keyword->run(run, index);
    if (keyword->role == KeywordRole::BuildStep && run.failures != failuresBefore) run.buildFailed = true;
  }
  if (run.makeNamed) psf::ReleaseDriver(state.builder);
  if (run.openSucceeded) psf::ReleaseDriver(state.builder);
  std::fflush(errors);
  return run.failures != 0 ? 1 : 0;
}

}  // namespace ui
