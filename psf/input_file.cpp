#include "psf/input_file.h"

#include <system_error>

#include "core/failure.h"
#include "core/file_io.h"

namespace psf {

bool CheckInputFile(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    core::SetFailureReason("cannot open: Is a directory");
    return false;
  }
  if (core::OpenFile(path, "rb")) return true;
  core::SetFailureReason(core::DescribeSystemError("cannot open"));
  return false;
}

std::optional<std::vector<std::uint8_t>> LoadInputFile(const std::filesystem::path& path) {
  if (!CheckInputFile(path)) return std::nullopt;
  auto bytes = core::LoadWholeFile(path);
  if (!bytes) core::SetFailureReason(core::DescribeSystemError("cannot open"));
  return bytes;
}

}  // namespace psf
