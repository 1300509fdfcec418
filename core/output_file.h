#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>

namespace core {

// An output written whole or not at all: the bytes go to a new, uniquely named temporary file beside the
// target, which replaces the target by an atomic rename only on Commit. A file that is never committed,
// or whose writing failed, is removed, and an existing target stays as it was. A target that is a symbolic
// link is written through (the link stays, the file it names is replaced); a replaced file keeps its
// permission bits; an existing file this user may not write is refused, as cp refuses it.
class OutputFile {
 public:
  // Starts an output for target; nothing (with the failure reason noted, e.g. "cannot write: Permission
  // denied") when the target may not be replaced or no temporary file can be made.
  static std::optional<OutputFile> Create(const std::filesystem::path& target);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // The open stream of the temporary file, for the positioned write helpers.
  std::FILE* stream() const { return m_stream; }
  // The file that Commit replaces or creates: the target with its symbolic links followed.
  const std::filesystem::path& target() const { return m_target; }

  // Flushes, checks that every write succeeded, and renames the temporary file over the target.
  // False (temporary file removed, reason noted) on any failure.
  bool Commit();

 private:
  OutputFile(std::FILE* stream, std::filesystem::path temporary, std::filesystem::path target);
  void Discard();

  std::FILE* m_stream = nullptr;
  std::filesystem::path m_temporary;
  std::filesystem::path m_target;
};

// True when both paths name one existing file (same device and inode), however each is spelled: another
// spelling, a symbolic link or a hard link included. An output that is the same file as an input of the same
// command would destroy that input; callers refuse it.
bool IsSameFile(const std::filesystem::path& first, const std::filesystem::path& second);

// Writes the bytes as the whole content of target through an OutputFile; false when it could not.
bool WriteWholeFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

}  // namespace core
