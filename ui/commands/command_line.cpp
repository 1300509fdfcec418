#include "ui/commands/command_line.h"

#include <algorithm>

#include "ui/commands/batch_mode.h"

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
      "Keywords (any letter case), run left to right:\n"
      "  MAKE               start a PSF from the built-in driver\n"
      "  OPEN FILE.psf      start a PSF from the driver inside an existing PSF\n"
      "  SEQ FILE | VAG FILE  place a sequence (SEQ or SEP) or a VAG sample\n"
      "  VH FILE  VB FILE   place a sound bank header and body\n"
      "  VAB FILE           place a whole VAB sound bank\n"
      "  PARAM NAME VALUE   set a driver parameter (exact name; decimal or 0x hexadecimal)\n"
      "  OUT FILE.psf       write the PSF\n"
      "  SPLIT FILE.vab     write FILE.vh and FILE.vb beside it\n"
      "  COMBINE VH VB VAB  join a VH and a VB into a VAB\n"
      "\n"
      "  --convert FILE...  convert each file by its extension (EXE, PSF, SEP, SEQ, VAB)\n"
      "  --params           list the built-in driver's parameters\n",
      stream);
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
  return RunBatchCommands(arguments, state);
}

}  // namespace ui
