#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace core {

// Which characters separate path components, and which one output names are joined with.
struct PathStyle {
  std::string_view separators;  // every character here is read as a separator
  char written;                 // the separator written into joined names
};

inline constexpr PathStyle WINDOWS_PATHS{"\\/", '\\'};
inline constexpr PathStyle POSIX_PATHS{"/", '/'};
#ifdef _WIN32
inline constexpr PathStyle PLATFORM_PATHS = WINDOWS_PATHS;
#else
inline constexpr PathStyle PLATFORM_PATHS = POSIX_PATHS;
#endif

// The directory of a path: the text before its last separator when the last component holds a dot,
// otherwise the whole path (a last component without a dot names a directory). Separators come out as
// style.written. A path without any separator has the directory ".".
std::string GetDirectoryPart(std::string_view path, const PathStyle& style = PLATFORM_PATHS);

// The file name without directory and extension: from behind the last separator to before the last dot
// of the whole path; empty when there is no dot or the last dot stands before the name.
std::string GetBaseName(std::string_view path, const PathStyle& style = PLATFORM_PATHS);

// The text after the last dot of the path, letter case kept; the whole path when it has no dot.
std::string_view GetExtensionPart(std::string_view path);

// "dir/base.ext": the name of an output written beside its input.
std::string JoinOutputName(std::string_view directory, std::string_view baseName, std::string_view extension,
                           const PathStyle& style = PLATFORM_PATHS);

// "dir/baseNN.ext": a numbered output, two digits at least (100 and above take three).
std::string JoinNumberedOutputName(std::string_view directory, std::string_view baseName, int number,
                                   std::string_view extension, const PathStyle& style = PLATFORM_PATHS);

// The output beside inputPath with the given extension, from its directory part and base name.
std::string OutputNameBeside(std::string_view inputPath, std::string_view extension,
                             const PathStyle& style = PLATFORM_PATHS);

// Paths travel through the name helpers as UTF-8 text; these convert without losing a character.
std::string PathToText(const std::filesystem::path& path);
std::filesystem::path TextToPath(std::string_view text);

}  // namespace core
