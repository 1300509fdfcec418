// Runs the lfqutil executable as a child process and reads its resource use, for benchmarks of the whole
// command as users run it.
#pragma once

#include <sys/resource.h>

#include <string>
#include <vector>

namespace bench_support {

// Runs the program at texts[0] with the rest as its arguments; its exit status (-1 when it did not start or
// end normally), with the child's resource use in usage. Its error lines are thrown away when quiet.
int RunProgram(std::vector<std::string> texts, rusage& usage, bool quiet = false);

// The child's processor time (user and system) in seconds: a busy machine does not inflate it the way it
// does wall-clock time.
double ChildCpuSeconds(const rusage& usage);

}  // namespace bench_support
