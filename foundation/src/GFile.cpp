// The members of GFile that are the same on every platform: the constructors that only delegate, the
// accessors and the calls that only name other members. The platform files hold what touches the system.

#include <foundation/GFile.h>

#include <climits>

GFile::GFile() { m_Initialize(); }

GFile::GFile(long long handle) : GFile() {
  if (handle >= 0 && handle <= INT_MAX) {
    m_handle = static_cast<int>(handle);
    m_handleCopy = m_handle;
  }
}

GFile::GFile(const wchar_t* name, unsigned int flags) : GFile() { Open(name, flags); }

GFile::GFile(const GFile&) : GFile() {}

GFile& GFile::operator=(const GFile&) { return *this; }

void GFile::m_Uninitialize() {
  m_securityAttributes.reset();
  m_securityDescriptor.reset();
}

GFile::operator int() const { return m_handle; }

void GFile::Abort() { GFile::Close(); }

GString GFile::GetFileName() { return m_fileName; }

GString GFile::GetFilePath() { return m_filePath; }

int GFile::GetHandle() const { return m_handle; }

SECURITY_ATTRIBUTES* GFile::GetSecurityAttributes() const { return m_securityAttributes.get(); }

SECURITY_DESCRIPTOR* GFile::GetSecurityDescriptor() const { return m_securityDescriptor.get(); }

void GFile::SeekToBegin() { Seek(0, FROM_BEGIN); }

unsigned long long GFile::SeekToEnd() { return Seek(0, FROM_END); }

void GFile::SetFilePath(const wchar_t* name) { m_fileName = name; }

void GFile::SetLength(unsigned long long length) { SetEndOfFile(length); }
