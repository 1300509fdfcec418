#include "child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench_support {

namespace {

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace

int RunProgram(std::vector<std::string> texts, rusage& usage, bool quiet) {
  std::vector<char*> argv;
  argv.reserve(texts.size() + 1);
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    if (quiet) {
      const int discard = ::open("/dev/null", O_WRONLY);
      if (discard >= 0) ::dup2(discard, STDERR_FILENO);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = -1;
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

double ChildCpuSeconds(const rusage& usage) { return Seconds(usage.ru_utime) + Seconds(usage.ru_stime); }

}  // namespace bench_support
