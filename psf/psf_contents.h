#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "psf/psf_tags.h"

namespace psf {

// What a PSF holds: its decompressed program (a PS-X EXE) and its tags.
struct PsfContents {
  std::vector<std::uint8_t> program;
  TagList tags;
};

// The program and tags of a PSF held in memory; nothing (reason noted) when its program section does not
// decode. A PSF without a tag section has no tags.
std::optional<PsfContents> ReadPsfContents(std::span<const std::uint8_t> file);

// The same for the PSF at path; nothing (reason noted) when it cannot be read or does not decode.
std::optional<PsfContents> LoadPsfContents(const std::filesystem::path& path);

}  // namespace psf
