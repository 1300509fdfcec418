#include "psf/input_file.h"

#include "core/failure.h"
#include "core/file_io.h"

namespace psf {

bool CheckInputFile(const std::filesystem::path& path) {
  if (core::OpenFile(path, "rb")) return true;
  core::SetFailureReason(core::DescribeSystemError("cannot open"));
  return false;
}

std::optional<std::vector<std::uint8_t>> LoadInputFile(const std::filesystem::path& path) {
  auto bytes = core::LoadWholeFile(path);
  if (!bytes) core::SetFailureReason(core::DescribeSystemError("cannot open"));
  return bytes;
}

}  // namespace psf
