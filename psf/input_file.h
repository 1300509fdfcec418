#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace psf {

// True when path names a file that can be opened for reading; otherwise false with the reason noted
// ("cannot open: No such file or directory", "cannot open: Is a directory", ...).
bool CheckInputFile(const std::filesystem::path& path);

// Every byte of the input file, or nothing with the reason noted (see CheckInputFile).
std::optional<std::vector<std::uint8_t>> LoadInputFile(const std::filesystem::path& path);

}  // namespace psf
