#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>

namespace core {

// An output written whole or not at all: the bytes go to a new, uniquely named temporary file beside the
// target, which replaces the target by an atomic rename only on Commit. A file that is never committed,
// or whose writing failed, is removed, and an existing target stays as it was.
class OutputFile {
 public:
  // Starts an output for target; nothing (with the failure reason noted) when no temporary file can be made.
  static std::optional<OutputFile> Create(const std::filesystem::path& target);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // The open stream of the temporary file, for the positioned write helpers.
  std::FILE* stream() const { return m_stream; }
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

// Writes the bytes as the whole content of target through an OutputFile; false when it could not.
bool WriteWholeFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

}  // namespace core
