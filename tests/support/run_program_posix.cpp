#include "support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace testing_support {

namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                      const std::filesystem::path& workingDirectory) {
  // The captured streams go to a directory of their own, so the working directory holds only what the
  // program wrote.
  std::string pattern = (std::filesystem::temp_directory_path() / "lfq-run-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  const std::filesystem::path captureDirectory = pattern;
  const std::filesystem::path outPath = captureDirectory / "stdout";
  const std::filesystem::path errPath = captureDirectory / "stderr";

  std::vector<std::string> argvTexts;
  argvTexts.push_back(executable.string());
  argvTexts.insert(argvTexts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argvTexts) argv.push_back(text.data());
  argv.push_back(nullptr);

  ProgramRun run;
  const pid_t child = ::fork();
  if (child == 0) {
    const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) ::_exit(126);
    if (::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (child > 0) {
    int waitStatus = 0;
    if (::waitpid(child, &waitStatus, 0) == child && WIFEXITED(waitStatus)) run.status = WEXITSTATUS(waitStatus);
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
  }
  std::error_code ignored;
  std::filesystem::remove_all(captureDirectory, ignored);
  return run;
}

}  // namespace testing_support
