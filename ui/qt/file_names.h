#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

class QUrl;

namespace ui {

// Inside the program a path is its bytes (UTF-8 when they are valid); Qt shows it as a QString. On Linux
// Qt shows bytes that are not UTF-8 as U+FFFD, so a name read back from Qt is found again on disk before it
// is used (FindOnDisk).

// The bytes of a path as Qt shows it, in the file-name encoding (UTF-8 on Linux, also on Windows inside the
// program).
std::string PathFromQString(const QString& text);

// A path's bytes as Qt shows them; bytes that are not UTF-8 show as U+FFFD.
QString QStringFromPath(std::string_view path);

// The bytes of the local file a URL names, its percent escapes decoded byte for byte so that a name that is
// not UTF-8 keeps its bytes; nullopt for a URL that is not a local file (http://..., ...).
std::optional<std::string> LocalPathOfUrl(const QUrl& url);

// The bytes of the existing file or directory that Qt shows as path: the path itself when it exists,
// otherwise the one entry of its directory whose name Qt shows the same way (a name that is not UTF-8);
// nullopt when nothing, or more than one entry, matches.
std::optional<std::string> FindOnDisk(const QString& path);

// The existing regular file a name typed or chosen in an open dialog means: the name itself, else the same
// name with its extension in another letter case ("song.seq" finds song.SEQ); nullopt when there is none.
std::optional<std::string> FindFileToOpen(const QString& path);

// The bytes of the file a save dialog's answer means: an existing file Qt shows that way, else the new name
// in the existing directory.
std::string FileToSave(const QString& path);

}  // namespace ui
