#pragma once

#include <foundation/Export.h>
#include <foundation/GFile.h>
#include <foundation/GString.h>
#include <foundation/GStringArray.h>

#include <cstdio>

// Byte-order marks, UTF-8 conversion, whole-file loading and storing, text files, line splitting, file
// listing and rounding. Paths are wide texts, converted to UTF-8 for the system. Every buffer or string
// handed out through a reference parameter is new and owned by the caller, who releases it with delete[].
// Failures show only in the results (0, -1, no buffer); nothing is thrown except the allocator's own
// std::bad_alloc.

// 1 when the three bytes are EF BB BF, else 0 (0 for null).
LFQ_FOUNDATION_API int ReadBOM(unsigned char* bytes);
// Reads three bytes with the file's Read and tests them; the position stays behind what was read. Fewer
// than three bytes read means no mark (0).
LFQ_FOUNDATION_API int ReadBOM(GFile& file);
// The same on a C stream.
LFQ_FOUNDATION_API int ReadBOM(std::FILE* stream);
// Stores EF BB BF at the address (nothing for null).
LFQ_FOUNDATION_API void WriteBOM(unsigned char* bytes);
// Writes EF BB BF with the file's Write.
LFQ_FOUNDATION_API void WriteBOM(GFile& file);
// Writes EF BB BF to the C stream.
LFQ_FOUNDATION_API void WriteBOM(std::FILE* stream);
// Writes the text (up to its first 0) as UTF-8, without terminator, with the file's Write.
LFQ_FOUNDATION_API void WriteUtf8(GString text, GFile& file);
// The same to a C stream.
LFQ_FOUNDATION_API void WriteUtf8(GString text, std::FILE* stream);

// A new 0-terminated UTF-8 copy of the text; returns its length in bytes without the terminator. Characters
// that are no Unicode scalar value (lone surrogates, values above 0x10FFFF) become U+FFFD. A null text
// hands out null and returns 0.
LFQ_FOUNDATION_API int UnicodeToUtf8(const wchar_t* text, char*& utf8);
// A new 0-terminated wide copy of the UTF-8 text; returns its length in characters without the terminator.
// Each invalid sequence becomes U+FFFD. A null text hands out null and returns 0.
LFQ_FOUNDATION_API int Utf8ToUnicode(wchar_t*& text, char* utf8);

// Loads a whole regular file into a new buffer and returns its size. The buffer is set to null first; a file
// that cannot be opened or measured, or is larger than an int can count, gives 0; an empty file gives 0 and
// no buffer. Bytes a short read did not fill are 0.
LFQ_FOUNDATION_API int StoreFile(const wchar_t* name, unsigned char*& buffer);
// Creates or empties the file and writes count bytes (none when bytes is null or count not positive). When
// the file cannot be created nothing is written and errno tells why; nothing else is reported.
LFQ_FOUNDATION_API void FlushFile(const wchar_t* name, unsigned char* bytes, int count);
// 1 when a file, directory or other entry of that name exists (a dangling symbolic link included), else 0.
LFQ_FOUNDATION_API int FileExists(const wchar_t* name);
// Loads a file of 8-bit text into a new wide string, one character 0x00-0xFF per byte, 0-terminated; 1 on
// success, else 0 with text null. The file is opened for reading and updating, so a file that may not be
// written cannot be loaded this way.
LFQ_FOUNDATION_API int StoreAsciiText(const wchar_t* name, wchar_t*& text);
// Loads a UTF-8 file that starts with the byte-order mark (the mark dropped), or else 8-bit text as
// StoreAsciiText does, into a new wide string; 1 on success, else 0 with text null.
LFQ_FOUNDATION_API int StoreUtf8Text(const wchar_t* name, wchar_t*& text);
// Appends the characters of text to line (which is not emptied first) up to a carriage return (13) and
// returns the position behind the line end: behind the carriage return, and behind a line feed (10) that
// follows it. Without a carriage return all of the text is appended and the result is -1 (also for an empty
// or null text). A line feed alone does not end a line.
LFQ_FOUNDATION_API int ReadLine(wchar_t* text, GString& line);
// Adds to list the bare names of the entries of directory that match pattern and are not directories (a
// symbolic link to a directory counts as a directory), in the order the system lists them. The pattern
// uses * and ? and matches in any letter case; "*.*" matches every name. A pattern with slashes searches the
// subdirectory they name. The list is not emptied first; nothing is added when the search finds nothing.
LFQ_FOUNDATION_API void CreateFileList(const wchar_t* directory, const wchar_t* pattern, GStringArray& list);
// b * ((a - 1) / b + 1) with division truncated toward zero: a rounded up to a multiple of b for a >= 1; for
// a = 0 it is b when b >= 2 and 0 when b is 1. A b of 0 gives a unchanged.
LFQ_FOUNDATION_API int align(int a, int b);
