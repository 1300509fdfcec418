#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "psf/psf_builder.h"
#include "psf/psf_set.h"
#include "psf/psf_tags.h"
#include "ui/commands/app_state.h"

namespace ui {

// What one run of the batch keywords keeps besides the builder: which arguments a keyword used, what failed,
// and whether the build since the last MAKE or OPEN is still whole. The keywords share it.
struct BatchRun {
  BatchRun(const std::vector<std::string>& arguments, AppState& state, std::FILE* errors);

  const std::vector<std::string>& arguments;
  AppState& state;
  std::FILE* errors;
  std::uint32_t parameterValue = 0;  // the number PARAM parsed last; 0 until one was parsed
  bool makeNamed = false;
  bool openSucceeded = false;
  std::size_t failures = 0;       // failure lines written
  bool buildFailed = false;       // a step of the build since the last MAKE or OPEN failed
  std::vector<bool> used;         // per argument: a keyword, an operand, or a parameter name or value
  std::vector<bool> operandOnly;  // per argument: an operand of a keyword whose operands are never keywords
  psf::TagList tagEdits;          // TAG settings for every later PSF of the run, in order; "" removes
  std::optional<psf::PsfLibrary> lastLibrary;  // the psflib LIB wrote last in the run, which minipsfs refer to
  bool libraryFailed = false;                  // the last LIB of the run wrote nothing

  psf::PsfBuilder& builder() { return state.builder; }

  // The argument at index, or "" past the last one.
  const std::string& Argument(std::size_t index) const;

  // Marks count arguments from index as used by a keyword (those past the last one are ignored).
  void MarkUsed(std::size_t index, std::size_t count);

  // "lfqutil: KEYWORD FILE: reason", or "lfqutil: KEYWORD: reason" when there is no file to name; the exit
  // status becomes 1.
  void Report(std::string_view keyword, std::string_view file, std::string_view reason);

  // Reports the reason the failed operation noted, or fallback when it noted none.
  void ReportNoted(std::string_view keyword, std::string_view file, std::string_view fallback);

  // "lfqutil: warning: KEYWORD FILE: reason"; the exit status stays as it is.
  void Warn(std::string_view keyword, std::string_view file, std::string_view reason);

  // A MAKE or OPEN starts a new build, whole until one of its steps fails.
  void StartBuild() { buildFailed = false; }

  // Whether a keyword that writes a PSF from the build (OUT and its kind) may write path: not when a step of
  // the build failed, nor over a file the build read. False (reported) when it may not.
  bool CheckBuildOutput(std::string_view keyword, const std::string& path);
};

}  // namespace ui
