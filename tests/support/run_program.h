#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// What one run of a program left behind: its exit status (-1 when it did not exit normally, for instance
// when a signal ended it) and everything it wrote on standard output and standard error.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the executable with the arguments in the working directory and waits for it to end.
ProgramRun RunProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                      const std::filesystem::path& workingDirectory);

}  // namespace testing_support
