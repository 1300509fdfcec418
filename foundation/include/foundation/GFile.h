#pragma once

#include <foundation/Export.h>
#include <foundation/GString.h>

#include <cstdint>
#include <memory>

#ifdef _WIN32
// The Windows records themselves (SECURITY_ATTRIBUTES, SECURITY_DESCRIPTOR, BY_HANDLE_FILE_INFORMATION); without
// the min and max macros, which would break std::min and std::max in every file that includes this one.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
// The access rules a GFile opens its files with: an access list that is present and has no entries, so
// everyone has access. POSIX has no per-handle security descriptor; the record is kept for the interface.
struct SECURITY_DESCRIPTOR {
  std::uint8_t Revision;      // 1
  std::uint8_t DaclPresent;   // 1: an access list is present
  std::uint16_t DaclEntries;  // 0 entries: nothing is denied
};

// Whether a handle opened with these attributes is inherited by child processes. A handle that is not
// inherited is opened close-on-exec (O_CLOEXEC).
struct SECURITY_ATTRIBUTES {
  std::uint32_t nLength;  // sizeof(SECURITY_ATTRIBUTES)
  SECURITY_DESCRIPTOR* lpSecurityDescriptor;
  int bInheritHandle;  // nonzero: inherited across exec
};

// A point in time in 100-nanosecond steps since 1601-01-01 00:00 UTC, split into two 32-bit halves.
struct FILETIME {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};

// What GFile::GetInformation reports about an open file, filled from fstat/statx:
// dwFileAttributes: 0x10 directory, 0x01 read-only (no owner write permission), 0x80 when neither;
// ftCreationTime: birth time where the file system keeps one, else 0; ftLastAccessTime, ftLastWriteTime:
// st_atim, st_mtim; dwVolumeSerialNumber: low 32 bits of st_dev; nFileSizeHigh/Low: st_size;
// nNumberOfLinks: st_nlink; nFileIndexHigh/Low: st_ino.
struct BY_HANDLE_FILE_INFORMATION {
  std::uint32_t dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  std::uint32_t dwVolumeSerialNumber;
  std::uint32_t nFileSizeHigh;
  std::uint32_t nFileSizeLow;
  std::uint32_t nNumberOfLinks;
  std::uint32_t nFileIndexHigh;
  std::uint32_t nFileIndexLow;
};
#endif

// A file reached through an operating-system handle (on Linux a file descriptor; -1, all bits set, when no
// file is open). The first 27 operations are virtual, in this order; operations that call others (Open calls
// Close and GetSecurityAttributes; ReadHuge, WriteHuge, SeekToBegin, SeekToEnd, SetEndOfFile, SetLength;
// ReadBOM, WriteBOM and WriteUtf8 on a GFile) call them virtually, so a derived class's versions take effect.
//
// Open flags and what they become on Linux (the bit 0x8000 is cleared first and has no effect):
//   flags & 3:     0 read (O_RDONLY), 1 write (O_WRONLY), 2 read and write (O_RDWR),
//                  3 no access rights (O_PATH: the file can be measured and closed, not read or written; with
//                  0x1000 the file is created or emptied first).
//   flags & 0x70:  share modes (0x10/0x00 none, 0x20 others read, 0x30 others write, 0x40 both). POSIX has no
//                  share modes: they are accepted and do not keep other openers out.
//   0x80:          not inherited: O_CLOEXEC (the inherit flag of the security attributes is cleared);
//                  otherwise the handle is inherited when security attributes are present.
//   0x1000 absent: open an existing file only;  0x1000: O_CREAT|O_TRUNC;  0x1000|0x2000: O_CREAT.
//   0x10000:       no system buffering: O_DIRECT (dropped when the file system refuses it);
//                  the caller keeps buffers, counts and positions aligned as the device requires.
//   0x20000:       write through: O_DSYNC.
//   0x40000, 0x80000: random access, sequential scan: posix_fadvise RANDOM, SEQUENTIAL.
//   0x100000:      delete when closed: the name is removed right after opening, so the file disappears with
//                  the last handle to it (duplicates included).
// The file path is the real path of the opened file (realpath; there is no 260-character limit). Linux file
// systems keep the case of names and store names as bytes (UTF-8 here), so the path is never upper-cased or
// looked up again. Byte ranges are locked with open-file-description record locks (F_OFD_SETLK): exclusive
// on a handle open for writing, shared otherwise, never waiting.
//
// On Windows the handle is the file handle (kept as a sign-extended 32-bit value, as kernel handles allow) and
// the flags are passed to CreateFileW as they stand: GENERIC_READ/GENERIC_WRITE (none for 3), the share modes
// FILE_SHARE_READ/FILE_SHARE_WRITE, the inherit flag of the security attributes (a descriptor with a null
// access list: everyone has access), OPEN_EXISTING/CREATE_ALWAYS/OPEN_ALWAYS and the FILE_FLAG_ attributes.
// The file path is the one the system reports for the open handle (GetFinalPathNameByHandleW, without the
// "\\?\" prefix); the title is the part behind its last slash, backslash or colon. Ranges are locked with
// LockFileEx, exclusive and never waiting.
class LFQ_FOUNDATION_API GFile {
 public:
  enum OpenFlag : unsigned int {
    MODE_READ = 0x0,
    MODE_WRITE = 0x1,
    MODE_READ_WRITE = 0x2,
    MODE_NO_ACCESS = 0x3,
    SHARE_EXCLUSIVE = 0x10,
    SHARE_OTHERS_READ = 0x20,
    SHARE_OTHERS_WRITE = 0x30,
    SHARE_OTHERS_READ_WRITE = 0x40,
    MODE_NO_INHERIT = 0x80,
    MODE_CREATE = 0x1000,
    MODE_NO_TRUNCATE = 0x2000,
    MODE_BINARY = 0x8000,
    OS_NO_BUFFER = 0x10000,
    OS_WRITE_THROUGH = 0x20000,
    OS_RANDOM_ACCESS = 0x40000,
    OS_SEQUENTIAL_SCAN = 0x80000,
    OS_DELETE_ON_CLOSE = 0x100000,
  };
  // How Seek counts its offset.
  enum SeekOrigin : unsigned int { FROM_BEGIN = 0, FROM_CURRENT = 1, FROM_END = 2 };

  // No file; builds the security records.
  GFile();
  // As GFile(), then uses the given descriptor as handle without owning it (the destructor does not close
  // it; Close does). A value outside the range of a descriptor gives no file.
  explicit GFile(long long handle);
  // As GFile(), then Open(name, flags); the result is not kept.
  GFile(const wchar_t* name, unsigned int flags);

  // The handle as an int.
  virtual operator int() const;
  // As Close.
  virtual void Abort();
  // Closes an open handle; empties file path, name and title; clears close-on-delete.
  virtual void Close();
  // A new GFile on a duplicate of the handle (not inherited), with this file's path, name and title; null when
  // no file is open or duplication fails. The new object owns its handle and closes it when deleted; the
  // caller deletes the object.
  virtual GFile* Duplicate() const;
  // Flushes the file's data to the device (fsync) when a file is open.
  virtual void Flush();
  // A copy of the file name as given to Open (or SetFilePath).
  virtual GString GetFileName();
  // A copy of the full path of the open file.
  virtual GString GetFilePath();
  // The file's title, the last component of the path, computed on first request and kept until the next
  // Close or Open.
  virtual GString GetFileTitleW();
  // The handle (the file descriptor), -1 when no file is open.
  virtual int GetHandle() const;
  // Fills the record; 1 on success, else 0.
  virtual int GetInformation(BY_HANDLE_FILE_INFORMATION& information) const;
  // The size; 0 when no file is open or the size cannot be read.
  virtual unsigned long long GetLength() const;
  // The position; all 64 bits set when no file is open; 0 when the query fails.
  virtual unsigned long long GetPosition() const;
  // The owned security records, or null.
  virtual SECURITY_ATTRIBUTES* GetSecurityAttributes() const;
  virtual SECURITY_DESCRIPTOR* GetSecurityDescriptor() const;
  // Locks a byte range given by position and count without waiting; reports nothing. A count of 0 locks
  // nothing.
  virtual void LockRange(unsigned long long position, unsigned long long count);
  // Opens a file (flags above); 1 on success, else 0 with no file open. A directory is refused.
  virtual int Open(const wchar_t* name, unsigned int flags);
  // Bytes read; 0 for a count of 0, with no file open, or on failure.
  virtual unsigned int Read(void* buffer, unsigned int count);
  // Read.
  virtual unsigned long ReadHuge(void* buffer, unsigned long count);
  // Moves from the start (0), the current position (1) or the end (2); a move backwards is given as the
  // two's complement of its distance. Returns the new position, 0 when the move fails, 0xFFFFFFFF when no file
  // is open or the origin is another value.
  virtual unsigned long long Seek(unsigned long long offset, unsigned int origin);
  // Seek to 0 from the start.
  virtual void SeekToBegin();
  // Seek to 0 from the end; returns the length.
  virtual unsigned long long SeekToEnd();
  // Seek to the position from the start, then ends the file at the position reached; 1 on success, else 0.
  virtual int SetEndOfFile(unsigned long long position);
  // Replaces the file name (what GetFileName returns); the file path is unchanged.
  virtual void SetFilePath(const wchar_t* name);
  // SetEndOfFile.
  virtual void SetLength(unsigned long long length);
  // Unlocks a byte range given by position and count; reports nothing.
  virtual void UnlockRange(unsigned long long position, unsigned long long count);
  // Writes all the bytes; nothing for a count of 0; reports nothing (with no file open nothing is written).
  virtual void Write(const void* buffer, unsigned int count);
  // Write.
  virtual void WriteHuge(const void* buffer, unsigned long count);

  // Closes the handle when one is open and close-on-delete is set; releases the security records. Virtual so
  // that a derived file deleted through a GFile pointer is destroyed whole.
  virtual ~GFile();

  // Renames a file; an existing file of the new name is not replaced. Reports nothing.
  static void Rename(const wchar_t* oldName, const wchar_t* newName);
  // Deletes a file (not a directory). Reports nothing.
  static void Remove(const wchar_t* name);

 protected:
  // Clears close-on-delete and builds the security records (access list present and empty, inherit flag
  // set); when that fails both are left absent and files are opened without them.
  void m_Initialize();
  // Releases the security records.
  void m_Uninitialize();

 private:
  // A copy has no file; assignment changes nothing.
  GFile(const GFile& other);
  GFile& operator=(const GFile& other);

  std::unique_ptr<SECURITY_ATTRIBUTES> m_securityAttributes;
  std::unique_ptr<SECURITY_DESCRIPTOR> m_securityDescriptor;
  int m_handle = -1;
  GString m_filePath;
  GString m_fileName;
  GString m_fileTitle;
  int m_closeOnDelete = 0;
  int m_handleCopy = -1;
};
