#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace psf {

// Largest compressed program of a PSF made from an EXE (1,968,128 bytes).
inline constexpr std::size_t EXE_COMPRESSED_LIMIT = 0x1E0800;

// The PSF that wraps exe, unchanged and unexamined, as its program section, with the tag section
// "[TAG]length=3:00.000"; nothing (reason noted) when its compressed form exceeds 1,968,128 bytes.
std::optional<std::vector<std::uint8_t>> PsfFromExe(std::span<const std::uint8_t> exe);

// The decompressed program section of a PSF held in memory, unchecked; nothing (reason noted) when it does
// not decode. Tags are ignored.
std::optional<std::vector<std::uint8_t>> ExeFromPsf(std::span<const std::uint8_t> psf);

// Wraps the file, unchanged and unexamined, as the program section of a new PSF beside it ("dir/base.psf"),
// ending with the tag section "[TAG]length=3:00.000". The builder is neither read nor changed. True when the
// PSF was written; false (reason noted, no file) when the input cannot be read, its compressed form exceeds
// 1,968,128 bytes, or the output cannot be written.
bool ConvertExeToPsf(const std::filesystem::path& path);

// Writes the decompressed program section of a PSF beside it ("dir/base.exe"), without checking its content;
// tags are ignored. False (reason noted, no file) when the input cannot be read or decoded, or the output
// cannot be written.
bool ConvertPsfToExe(const std::filesystem::path& path);

}  // namespace psf
