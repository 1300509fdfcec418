#include "psf/exe_psf.h"

#include <string_view>
#include <vector>

#include "core/output_file.h"
#include "core/path_names.h"
#include "psf/input_file.h"
#include "psf/psf_file.h"

namespace psf {

namespace {

// "dir/base.EXTENSION" beside the input.
std::filesystem::path OutputBeside(const std::filesystem::path& input, std::string_view extension) {
  return core::TextToPath(core::OutputNameBeside(core::PathToText(input), extension));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> PsfFromExe(std::span<const std::uint8_t> exe) {
  auto file = EncodePsfProgram(exe, EXE_COMPRESSED_LIMIT);
  if (!file) return std::nullopt;
  file->insert(file->end(), TAG_HEADER.begin(), TAG_HEADER.end());
  file->insert(file->end(), DEFAULT_TAG_TEXT.begin(), DEFAULT_TAG_TEXT.end());
  return file;
}

std::optional<std::vector<std::uint8_t>> ExeFromPsf(std::span<const std::uint8_t> psf) { return DecodePsfProgram(psf); }

bool ConvertExeToPsf(const std::filesystem::path& path) {
  const auto input = LoadInputFile(path);
  if (!input) return false;
  const auto file = PsfFromExe(*input);
  if (!file) return false;
  return core::WriteWholeFile(OutputBeside(path, "psf"), *file);
}

bool ConvertPsfToExe(const std::filesystem::path& path) {
  const std::optional<std::vector<std::uint8_t>> program = DecodePsfFile(path);
  if (!program) return false;
  return core::WriteWholeFile(OutputBeside(path, "exe"), *program);
}

}  // namespace psf
