#include "core/path_names.h"

#include "core/text.h"

namespace core {

namespace {

std::size_t FindLastSeparator(std::string_view path, const PathStyle& style) {
  return path.find_last_of(style.separators);
}

}  // namespace

std::string GetDirectoryPart(std::string_view path, const PathStyle& style) {
  std::string text(path);
  for (char& c : text) {
    if (style.separators.find(c) != std::string_view::npos) c = style.written;
  }
  const std::size_t last = text.rfind(style.written);
  if (last == std::string::npos) return ".";
  if (text.find('.', last + 1) != std::string::npos) text.resize(last);
  return text;
}

std::string GetBaseName(std::string_view path, const PathStyle& style) {
  const std::size_t separator = FindLastSeparator(path, style);
  const std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < start) return {};
  return std::string(path.substr(start, dot - start));
}

std::string_view GetExtensionPart(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return path;
  return path.substr(dot + 1);
}

std::string JoinOutputName(std::string_view directory, std::string_view baseName, std::string_view extension,
                           const PathStyle& style) {
  return FormatText("%.*s%c%.*s.%.*s", static_cast<int>(directory.size()), directory.data(), style.written,
                    static_cast<int>(baseName.size()), baseName.data(), static_cast<int>(extension.size()),
                    extension.data());
}

std::string JoinNumberedOutputName(std::string_view directory, std::string_view baseName, int number,
                                   std::string_view extension, const PathStyle& style) {
  return FormatText("%.*s%c%.*s%02d.%.*s", static_cast<int>(directory.size()), directory.data(), style.written,
                    static_cast<int>(baseName.size()), baseName.data(), number, static_cast<int>(extension.size()),
                    extension.data());
}

std::string OutputNameBeside(std::string_view inputPath, std::string_view extension, const PathStyle& style) {
  return JoinOutputName(GetDirectoryPart(inputPath, style), GetBaseName(inputPath, style), extension, style);
}

std::string PathToText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path TextToPath(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace core
