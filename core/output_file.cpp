#include "core/output_file.h"

#include <system_error>
#include <utility>

#include "core/failure.h"
#include "core/platform_system.h"
#include "core/text.h"

namespace core {

std::optional<OutputFile> OutputFile::Create(const std::filesystem::path& target) {
  std::filesystem::path resolved;
  std::optional<unsigned> mode;
  if (!ExamineOutputTarget(target, resolved, mode)) {
    SetFailureReason(DescribeSystemError("cannot write"));
    return std::nullopt;
  }
  std::filesystem::path temporary;
  std::FILE* stream = CreateTemporaryFileBeside(resolved, temporary, mode);
  if (stream == nullptr) {
    SetFailureReason(DescribeSystemError("cannot create output"));
    return std::nullopt;
  }
  return OutputFile(stream, std::move(temporary), std::move(resolved));
}

OutputFile::OutputFile(std::FILE* stream, std::filesystem::path temporary, std::filesystem::path target)
    : m_stream(stream), m_temporary(std::move(temporary)), m_target(std::move(target)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_stream(std::exchange(other.m_stream, nullptr)),
      m_temporary(std::move(other.m_temporary)),
      m_target(std::move(other.m_target)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    Discard();
    m_stream = std::exchange(other.m_stream, nullptr);
    m_temporary = std::move(other.m_temporary);
    m_target = std::move(other.m_target);
  }
  return *this;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (m_stream == nullptr) return;
  std::fclose(m_stream);
  m_stream = nullptr;
  std::error_code ignored;
  std::filesystem::remove(m_temporary, ignored);
}

bool OutputFile::Commit() {
  if (m_stream == nullptr) return false;
  const bool written = std::fflush(m_stream) == 0 && std::ferror(m_stream) == 0;
  if (!written) {
    SetFailureReason(DescribeSystemError("cannot write"));
    Discard();
    return false;
  }
  const bool closed = std::fclose(m_stream) == 0;
  m_stream = nullptr;
  std::error_code error;
  if (closed) ReplaceWithTemporary(m_temporary, m_target, error);
  if (!closed || error) {
    SetFailureReason(closed ? FormatText("cannot replace output: %s", error.message().c_str())
                            : DescribeSystemError("cannot write"));
    std::error_code ignored;
    std::filesystem::remove(m_temporary, ignored);
    return false;
  }
  return true;
}

bool IsSameFile(const std::filesystem::path& first, const std::filesystem::path& second) {
  std::error_code error;
  return !first.empty() && !second.empty() && std::filesystem::equivalent(first, second, error) && !error;
}

bool WriteWholeFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
  std::optional<OutputFile> output = OutputFile::Create(target);
  if (!output) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), output->stream()) != bytes.size()) {
    SetFailureReason(DescribeSystemError("cannot write"));
    return false;
  }
  return output->Commit();
}

}  // namespace core
