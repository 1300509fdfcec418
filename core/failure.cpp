#include "core/failure.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/text.h"

namespace core {

namespace {
thread_local std::string lastReason;
}  // namespace

void SetFailureReason(std::string reason) { lastReason = std::move(reason); }

std::string TakeFailureReason() { return std::exchange(lastReason, std::string()); }

std::string DescribeSystemError(const char* what) {
  const int error = errno;
  if (error == 0) return what;
  return FormatText("%s: %s", what, std::strerror(error));
}

}  // namespace core
