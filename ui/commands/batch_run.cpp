#include "ui/commands/batch_run.h"

#include <optional>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/text.h"
#include "ui/commands/failure_line.h"

namespace ui {

namespace {

std::string Line(std::string_view prefix, std::string_view keyword, std::string_view file, std::string_view reason) {
  const auto width = [](std::string_view text) { return static_cast<int>(text.size()); };
  return file.empty() ? core::FormatText("lfqutil: %.*s%.*s: %.*s", width(prefix), prefix.data(), width(keyword),
                                         keyword.data(), width(reason), reason.data())
                      : core::FormatText("lfqutil: %.*s%.*s %.*s: %.*s", width(prefix), prefix.data(), width(keyword),
                                         keyword.data(), width(file), file.data(), width(reason), reason.data());
}

}  // namespace

BatchRun::BatchRun(const std::vector<std::string>& arguments, AppState& state, std::FILE* errors)
    : arguments(arguments),
      state(state),
      errors(errors),
      used(arguments.size(), false),
      operandOnly(arguments.size(), false) {}

const std::string& BatchRun::Argument(std::size_t index) const {
  static const std::string empty;
  return index < arguments.size() ? arguments[index] : empty;
}

void BatchRun::MarkUsed(std::size_t index, std::size_t count) {
  for (std::size_t i = index; i < index + count && i < used.size(); ++i) used[i] = true;
}

void BatchRun::Report(std::string_view keyword, std::string_view file, std::string_view reason) {
  ++failures;
  WriteFailureLine(errors, Line("", keyword, file, reason));
}

void BatchRun::ReportNoted(std::string_view keyword, std::string_view file, std::string_view fallback) {
  const std::string noted = core::TakeFailureReason();
  Report(keyword, file, noted.empty() ? fallback : std::string_view(noted));
}

void BatchRun::Warn(std::string_view keyword, std::string_view file, std::string_view reason) {
  WriteFailureLine(errors, Line("warning: ", keyword, file, reason));
}

bool BatchRun::CheckBuildOutput(std::string_view keyword, const std::string& path) {
  // A half-built PSF replacing a good one is lost data.
  if (buildFailed) {
    Report(keyword, path, "not written: an earlier step failed");
    return false;
  }
  if (const std::optional<std::filesystem::path> input = psf::FindBuildInput(builder(), core::TextToPath(path))) {
    Report(
        keyword, path,
        core::FormatText("not written: it is the same file as the build's input %s", core::PathToText(*input).c_str()));
    return false;
  }
  return true;
}

}  // namespace ui
