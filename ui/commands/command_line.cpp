#include "ui/commands/command_line.h"
#include "core/text.h"

#include <algorithm>

#include "core/failure.h"
#include "core/text.h"
#include "psf/psf_builder.h"
#include "ui/commands/batch_mode.h"
#include "ui/commands/drop_dispatch.h"
#include "ui/commands/failure_line.h"

namespace ui {

bool IsEmptyCommandLine(const std::vector<std::string>& arguments) {
  return std::all_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
    return argument.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
  });
}

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: lfqutil [KEYWORD [OPERAND]]...\n"
      "       lfqutil --convert FILE...\n"
      "       lfqutil --params | --help | --version\n"
      "Without arguments the main window opens.\n"
      "\n"
      "Keywords (any letter case), run left to right; every argument, operands included, is tried as a\n"
      "keyword in turn:\n"
      "  MAKE                start a PSF from the built-in driver\n"
      "  OPEN FILE.psf       start a PSF from the driver inside an existing PSF\n"
      "  SEQ FILE            place a sequence (SEQ or SEP) at the sequence address, region cleared first\n"
      "  VAG FILE            place a file at the sequence address as it is\n"
      "  VH FILE  VB FILE    place a sound bank header, then its body\n"
      "  VAB FILE            place a whole VAB sound bank\n"
      "  PARAM NAME VALUE... set driver parameters: every later argument that is a parameter's exact name\n"
      "                      (see --params) takes the argument after it as value (decimal, or 0x hexadecimal)\n"
      "  OUT FILE.psf        write the PSF (tag text length=3:00.000)\n"
      "  SPLIT FILE.vab      write FILE.vh and FILE.vb beside it\n"
      "  COMBINE VAB VH VB   write the VAB file from a VH and a VB\n"
      "Nothing is printed on success; each keyword that fails prints one line on standard error, and the\n"
      "exit status is then 1.\n"
      "\n"
      "  --convert FILE...  convert each file by its extension (EXE, PSF, SEP, SEQ, VAB)\n"
      "  --params           list the built-in driver's parameters\n",
      stream);
}

int ListBuiltinParameters(std::FILE* stream, AppState& state) {
  psf::PsfBuilder& builder = state.builder;
  if (!psf::LoadBuiltinDriver(builder)) {
    const std::string reason = core::TakeFailureReason();
    std::fprintf(stderr, "lfqutil: --params: %s\n",
                 reason.empty() ? "cannot prepare the built-in driver" : reason.c_str());
    return 1;
  }
  for (std::uint32_t index = 0; index < builder.parameterCount; ++index) {
    const psf::DriverParameter& parameter = builder.parameters[index];
    // The default shown with as many hexadecimal digits as the value has bytes.
    std::fprintf(stream, "%02u %s %u 0x%0*X\n", index, psf::GetParameterName(builder, index).c_str(), parameter.width,
                 static_cast<int>(2 * parameter.width), psf::GetParameter(builder, index));
  }
  psf::ReleaseDriver(builder);
  return 0;
}

int ConvertFiles(const std::vector<std::string>& files, AppState& state, std::FILE* errors) {
  if (files.empty()) {
    std::fprintf(errors, "lfqutil: --convert: no file named\n");
    return 1;
  }
  int status = 0;
  for (const std::string& file : files) {
    const DropResult result = DispatchDroppedFile(file, state);
    if (result.produced) continue;
    WriteFailureLine(errors, core::FormatText("lfqutil: %s: %s", file.c_str(), result.reason.c_str()));
    status = 1;
  }
  return status;
}

int RunCommandLine(const std::vector<std::string>& arguments, AppState& state) {
  if (arguments.size() == 1 && arguments[0] == "--help") {
    PrintUsage(stdout);
    return 0;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    std::printf("%s\n", VERSION_TEXT);
    return 0;
  }
  if (arguments.size() == 1 && arguments[0] == "--params") return ListBuiltinParameters(stdout, state);
  if (!arguments.empty() && arguments[0] == "--convert") {
    return ConvertFiles({arguments.begin() + 1, arguments.end()}, state, stderr);
  }
  return RunBatchCommands(arguments, state);
}

}  // namespace ui
