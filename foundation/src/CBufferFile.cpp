#include <foundation/CBufferFile.h>
#include <foundation/TextFile.h>

#include <algorithm>

CBufferFile::CBufferFile() = default;

CBufferFile::CBufferFile(const wchar_t* name) { StoreFile(name); }

CBufferFile::CBufferFile(const CBufferFile& other) { *this = other; }

CBufferFile::~CBufferFile() = default;

int CBufferFile::StoreFile(const wchar_t* name) {
  Reset();
  unsigned char* bytes = nullptr;
  m_size = ::StoreFile(name, bytes);
  m_buffer.reset(bytes);
  return m_size;
}

void CBufferFile::Reset() { m_buffer.reset(); }

unsigned char* CBufferFile::GetBuffer() { return m_buffer.get(); }

int CBufferFile::GetSize() { return m_size; }

CBufferFile& CBufferFile::operator=(const CBufferFile& other) {
  if (&other == this) return *this;
  std::unique_ptr<unsigned char[]> copy;
  if (other.m_buffer && other.m_size > 0) {
    copy = std::make_unique<unsigned char[]>(static_cast<std::size_t>(other.m_size));
    std::copy_n(other.m_buffer.get(), other.m_size, copy.get());
  }
  m_buffer = std::move(copy);
  m_size = other.m_size;
  return *this;
}
