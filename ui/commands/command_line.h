#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ui/commands/app_state.h"

namespace ui {

inline constexpr const char* VERSION_TEXT = "4.2.2.0";

// True when the command line holds nothing but blanks, which starts the window.
bool IsEmptyCommandLine(const std::vector<std::string>& arguments);

// Runs a non-empty command line: --help (-h), --version, --params, --convert FILE..., or the batch keywords.
// Returns the process exit status: 2, after one usage line on standard error and with nothing run, for an
// unknown option, an option with arguments it does not take, or an option among the keywords.
int RunCommandLine(const std::vector<std::string>& arguments, AppState& state);

// Lists the built-in driver's parameters, one a line: index, name, width in bytes and default value, e.g.
// "00 SEQ/SEP/VAG Address 4 0x800A0000". Uses the state's builder and releases it afterwards. The exit status.
int ListBuiltinParameters(std::FILE* stream, AppState& state);

// --convert: dispatches each file by its extension, in order, as if dropped on the window. Each file that
// produced no output gives the line "lfqutil: FILE: reason" on errors. 0 when every file produced its
// output or rightly none (a VAB without samples), 1 when any did not or no file was named.
int ConvertFiles(const std::vector<std::string>& files, AppState& state, std::FILE* errors);

// --info: the summary of each file on output (readable, or one JSON object a line); "lfqutil: FILE: reason" on
// errors for a file that cannot be summarised. 0 when every file was summarised, 1 otherwise.
int DescribeFiles(const std::vector<std::string>& files, bool json, std::FILE* output, std::FILE* errors);

// Prints how to call the program.
void PrintUsage(std::FILE* stream);

}  // namespace ui
