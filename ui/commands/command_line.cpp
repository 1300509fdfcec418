#include "ui/commands/command_line.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/psf_builder.h"
#include "ui/commands/batch_mode.h"
#include "ui/commands/drop_dispatch.h"
#include "ui/commands/failure_line.h"
#include "ui/commands/file_info.h"

namespace ui {

namespace {

constexpr std::string_view USAGE_LINE =
    "usage: lfqutil [KEYWORD [OPERAND]]... | --convert FILE... | --info [--json] FILE... | --params | --help | "
    "--version";

enum class Option { Help, Version, Params, Convert, Info, Unknown };

// An argument that starts with "-" is an option, unless it is a number (a negative PARAM value) or "-" alone.
bool IsOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-' && std::isdigit(static_cast<unsigned char>(argument[1])) == 0;
}

Option OptionOf(const std::string& argument) {
  if (argument == "--help" || argument == "-h") return Option::Help;
  if (argument == "--version") return Option::Version;
  if (argument == "--params") return Option::Params;
  if (argument == "--convert") return Option::Convert;
  if (argument == "--info") return Option::Info;
  return Option::Unknown;
}

// One line on standard error naming the mistake, with how to call the program; nothing runs.
int UsageError(const std::string& mistake) {
  WriteFailureLine(stderr, core::FormatText("lfqutil: %s (%.*s)", mistake.c_str(), static_cast<int>(USAGE_LINE.size()),
                                            USAGE_LINE.data()));
  return 2;
}

}  // namespace

bool IsEmptyCommandLine(const std::vector<std::string>& arguments) {
  return std::all_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
    return argument.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
  });
}

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: lfqutil [KEYWORD [OPERAND]]...\n"
      "       lfqutil --convert FILE...\n"
      "       lfqutil --info [--json] FILE...\n"
      "       lfqutil --params | --help | -h | --version\n"
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
      "  TAG NAME VALUE      set a tag of every later PSF (empty VALUE removes it; the two operands are\n"
      "                      never keywords); TAG length auto computes the song's length and fade\n"
      "  OUT FILE.psf        write the PSF with its tags (length=3:00.000 when no length was set)\n"
      "  LIB FILE.psflib     write the build as the psflib of a song set (no tags)\n"
      "  MINI FILE.minipsf   write the pages where the build differs from the last psflib as a minipsf\n"
      "                      with the build's tags and _lib naming the psflib; OPEN reads a set back\n"
      "  STEMS BASE          write BASE_chNN.psf for each channel NN with notes, the others muted\n"
      "                      (BASE_chNN.minipsf after a LIB)\n"
      "  UNPACK FILE.psf DIR write the PSF's song, VH, VB and NAME.cmd, the command that rebuilds it, into DIR\n"
      "  SPLIT FILE.vab      write FILE.vh and FILE.vb beside it\n"
      "  COMBINE VAB VH VB   write the VAB file from a VH and a VB\n"
      "Nothing is printed on success. Each keyword that fails, and each argument that no keyword used\n"
      "(\"WORD: not a keyword\"), prints one line on standard error, and the exit status is then 1. After a\n"
      "failed step since the last MAKE or OPEN, OUT writes nothing. OUT refuses a file the build read, and\n"
      "COMBINE a VAB that is its own VH or VB. Data that will not play (no SEQ, SEP, VAG or VAB signature,\n"
      "song data longer than the driver reads) gives a \"warning:\" line and leaves the exit status as it is.\n"
      "\n"
      "  --convert FILE...  convert each file by its extension (EXE, PSF, SEP, SEQ, VAB); a VAB without\n"
      "                     samples is noted but is no failure\n"
      "  --info [--json] FILE...  summarise each PSF, SEQ, SEP, VAB, VH or VAG file: driver, parameters,\n"
      "                     song, bank, tags and the computed length and fade (one JSON object a line)\n"
      "  --params           list the built-in driver's parameters\n"
      "  --help, -h         show this text\n"
      "  --version          show the version\n"
      "Options come first; --help, --version and --params alone. An unknown option, or arguments after one\n"
      "that takes none, print one usage line and exit with status 2. An argument starting with \"-\" is an\n"
      "option unless a digit follows (a negative value); name such a file ./-FILE.\n",
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
    if (!result.notice) status = 1;
  }
  return status;
}

int DescribeFiles(const std::vector<std::string>& files, bool json, std::FILE* output, std::FILE* errors) {
  if (files.empty()) {
    std::fprintf(errors, "lfqutil: --info: no file named\n");
    return 1;
  }
  int status = 0;
  for (const std::string& file : files) {
    std::string reason;
    const std::optional<InfoReport> report = DescribeFile(core::TextToPath(file), reason);
    if (!report) {
      WriteFailureLine(errors, core::FormatText("lfqutil: %s: %s", file.c_str(), reason.c_str()));
      status = 1;
      continue;
    }
    InfoReport named = *report;
    named.file = file;
    std::fputs((json ? FormatInfoJson(named) + "\n" : FormatInfoText(named)).c_str(), output);
  }
  return status;
}

int RunCommandLine(const std::vector<std::string>& arguments, AppState& state) {
  if (!arguments.empty() && IsOption(arguments[0])) {
    const std::string& option = arguments[0];
    const Option kind = OptionOf(option);
    if (kind == Option::Unknown) return UsageError("unknown option " + option);
    // The files after --convert are files, whatever their names look like.
    if (kind == Option::Convert) return ConvertFiles({arguments.begin() + 1, arguments.end()}, state, stderr);
    if (kind == Option::Info) {
      const bool json = arguments.size() > 1 && arguments[1] == "--json";
      return DescribeFiles({arguments.begin() + (json ? 2 : 1), arguments.end()}, json, stdout, stderr);
    }
    if (arguments.size() > 1) return UsageError(option + " takes no arguments: " + arguments[1]);
    if (kind == Option::Help) {
      PrintUsage(stdout);
      return 0;
    }
    if (kind == Option::Version) {
      std::printf("%s\n", VERSION_TEXT);
      return 0;
    }
    return ListBuiltinParameters(stdout, state);
  }
  // Options have no place among the keywords: checked before any keyword runs.
  for (const std::string& argument : arguments) {
    if (!IsOption(argument)) continue;
    return UsageError(OptionOf(argument) == Option::Unknown
                          ? "unknown option " + argument
                          : argument + (OptionOf(argument) == Option::Convert || OptionOf(argument) == Option::Info
                                            ? " must come first"
                                            : " must come first and alone"));
  }
  return RunBatchCommands(arguments, state);
}

}  // namespace ui
