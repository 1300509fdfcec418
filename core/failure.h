#pragma once

#include <string>

namespace core {

// Operations keep their plain results (1/0, true/false, -1); the reason for a failure is noted here so
// that a front end can tell the user which file failed and why. One note per thread, like errno.
void SetFailureReason(std::string reason);

// The reason noted last, emptied by the call; "" when nothing was noted.
std::string TakeFailureReason();

// "cannot open: No such file or directory" style text for the current errno.
std::string DescribeSystemError(const char* what);

}  // namespace core
