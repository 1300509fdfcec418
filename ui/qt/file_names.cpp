#include "ui/qt/file_names.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/path_names.h"

namespace ui {

namespace {

// The names in a directory as bytes; none when it cannot be read.
std::vector<std::string> EntryNames(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator entries(core::TextToPath(directory), error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    names.push_back(core::PathToText(entries->path().filename()));
  }
  return names;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  return core::PathToText(core::TextToPath(directory) / core::TextToPath(name));
}

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(core::TextToPath(path), error);
}

// Whether two names differ at most in the letter case of their extension.
bool SameNameAnyExtensionCase(const QString& entry, const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot <= 0 || entry.size() != name.size() || entry.lastIndexOf(QLatin1Char('.')) != dot) return false;
  return entry.left(dot) == name.left(dot) && entry.mid(dot).compare(name.mid(dot), Qt::CaseInsensitive) == 0;
}

}  // namespace

std::string PathFromQString(const QString& text) {
#ifdef _WIN32
  return text.toUtf8().toStdString();
#else
  return QFile::encodeName(text).toStdString();
#endif
}

QString QStringFromPath(std::string_view path) {
  const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
#ifdef _WIN32
  return QString::fromUtf8(bytes);
#else
  return QFile::decodeName(bytes);
#endif
}

std::optional<std::string> LocalPathOfUrl(const QUrl& url) {
  if (!url.isLocalFile()) return std::nullopt;
  const QString local = url.toLocalFile();
#ifdef _WIN32
  return PathFromQString(local);
#else
  // Decoding the escapes into a QString would turn bytes that are not UTF-8 into U+FFFD.
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  const QString shownPath = url.path(QUrl::FullyDecoded);
  // toLocalFile puts "//host" before the path of a URL that names a host.
  if (!local.endsWith(shownPath)) return PathFromQString(local);
  return PathFromQString(local.chopped(shownPath.size())) + bytes.toStdString();
#endif
}

std::optional<std::string> FindOnDisk(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  std::string direct = PathFromQString(path);
  std::error_code error;
  if (std::filesystem::exists(core::TextToPath(direct), error)) return direct;
  // Only a name that Qt could not show faithfully needs its directory searched.
  if (!path.contains(QChar::ReplacementCharacter)) return std::nullopt;
  const QFileInfo info(path);
  const QString name = info.fileName();
  const QString directory = info.path();
  if (name.isEmpty() || directory == path) return std::nullopt;
  const auto parent = FindOnDisk(directory);
  if (!parent) return std::nullopt;
  std::optional<std::string> found;
  for (const std::string& entry : EntryNames(*parent)) {
    if (QStringFromPath(entry) != name) continue;
    // Two names that Qt shows alike: which one the user meant cannot be told.
    if (found) return std::nullopt;
    found = entry;
  }
  if (!found) return std::nullopt;
  return JoinPath(*parent, *found);
}

std::optional<std::string> FindFileToOpen(const QString& path) {
  if (auto found = FindOnDisk(path); found && IsRegularFile(*found)) return found;
  const QFileInfo info(path);
  const QString name = info.fileName();
  const auto parent = FindOnDisk(info.path());
  if (name.isEmpty() || !parent) return std::nullopt;
  std::vector<std::string> matches;
  for (const std::string& entry : EntryNames(*parent)) {
    if (SameNameAnyExtensionCase(QStringFromPath(entry), name) && IsRegularFile(JoinPath(*parent, entry))) {
      matches.push_back(entry);
    }
  }
  if (matches.empty()) return std::nullopt;
  // Several spellings of the extension: always the same one, the first in byte order.
  return JoinPath(*parent, *std::min_element(matches.begin(), matches.end()));
}

std::string FileToSave(const QString& path) {
  if (auto existing = FindOnDisk(path)) return *existing;
  const QFileInfo info(path);
  const auto parent = FindOnDisk(info.path());
  if (!parent) return PathFromQString(path);
  return JoinPath(*parent, PathFromQString(info.fileName()));
}

}  // namespace ui
