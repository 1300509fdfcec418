#include "psf/psf_contents.h"

#include <string_view>

#include "core/failure.h"
#include "core/file_io.h"
#include "psf/psf_file.h"

namespace psf {

std::optional<PsfContents> ReadPsfContents(std::span<const std::uint8_t> file) {
  std::optional<std::vector<std::uint8_t>> program = DecodePsfProgram(file);
  if (!program) return std::nullopt;
  PsfContents contents{std::move(*program), {}};
  if (const std::optional<std::string_view> text = FindTagText(file)) contents.tags = ParseTagText(*text);
  return contents;
}

std::optional<PsfContents> LoadPsfContents(const std::filesystem::path& path) {
  const std::optional<std::vector<std::uint8_t>> file = core::LoadWholeFile(path);
  if (!file) {
    core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return std::nullopt;
  }
  return ReadPsfContents(*file);
}

}  // namespace psf
