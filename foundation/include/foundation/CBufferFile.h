#pragma once

#include <foundation/Export.h>

#include <memory>

// A whole file held in memory. The object owns its buffer and releases it exactly once: copying and
// assigning copy the bytes, so every object holds a buffer of its own.
class LFQ_FOUNDATION_API CBufferFile {
 public:
  // No buffer, size 0.
  CBufferFile();
  // Loads the file with the free StoreFile; the size is its result.
  explicit CBufferFile(const wchar_t* name);
  // A copy of the other's bytes and size.
  CBufferFile(const CBufferFile& other);
  // Releases the buffer.
  ~CBufferFile();

  // Releases the buffer, loads the file with the free StoreFile, keeps and returns the size.
  int StoreFile(const wchar_t* name);
  // Releases the buffer; the recorded size stays.
  void Reset();
  // The buffer (null when there is none, e.g. after Reset or for an empty file) and the recorded size.
  unsigned char* GetBuffer();
  int GetSize();
  // Takes a copy of the other's bytes and its size; returns the object.
  CBufferFile& operator=(const CBufferFile& other);

 private:
  std::unique_ptr<unsigned char[]> m_buffer;
  int m_size = 0;
};
