#pragma once

#include <foundation/Export.h>

#include <memory>
#include <string>

// A wide-character string. One character is one wchar_t: a UTF-16 code unit where wchar_t is 16 bits
// (Windows), a Unicode code point where it is 32 bits (Linux). Positions and lengths count characters and
// start at 0.
//
// Copying rule: taking the text of another GString (copy construction, assignment, Append, operator+=,
// operator<<) reads it up to its first 0 character, so a 0 put into a string with operator+=(wchar_t) or
// GString(wchar_t, int) does not survive a copy.
//
// Narrow text is widened byte by byte: every byte 0x00-0xFF becomes the character of the same value
// (U+0000-U+00FF, as in Latin-1), by the constructors and assignments from char and unsigned char text, by
// Copy(const char*, int, int) and by Set with type 0. This is the mapping StoreAsciiText uses as well.
//
// Errors: a negative position given to GetAt, SetAt, operator[], Right, Mid or Find(wchar_t, int), and a start
// beyond the end given to Mid, throw std::out_of_range("invalid string position"). Appending and copying
// never throw for the string's own errors: they keep the text as far as it got.
//
// The exported interface keeps its historic form: apart from operator[] and the conversion to const wchar_t*,
// the members are not const.
class LFQ_FOUNDATION_API GString {
 public:
  // How the data given to Set is encoded.
  enum GStringType {
    GSTRING_NARROW = 0,         // 8-bit text, 0-terminated, widened byte by byte
    GSTRING_UTF8 = 1,           // UTF-8, 0-terminated
    GSTRING_UTF16 = 2,          // UTF-16 in the machine's byte order, 0-terminated 16-bit unit
    GSTRING_UTF16_SWAPPED = 3,  // UTF-16 in the opposite byte order, 0-terminated 16-bit unit
  };

  // An empty string.
  GString();
  // A copy of the other's text up to its first 0.
  GString(const GString& other);
  // Narrow text widened byte by byte; a null text gives an empty string.
  GString(const char* text);
  GString(const unsigned char* text);
  // Copy(text, count, 0) of narrow text.
  GString(const char* text, int count);
  // A copy of the wide text; a null text gives an empty string.
  GString(const wchar_t* text);
  // Copy(text, count, 0) of wide text.
  GString(const wchar_t* text, int count);
  // The character repeated count times (a 0 character included); empty for a count of 0 or less.
  GString(wchar_t character, int count);
  // Releases the text and any work buffer.
  ~GString();

  // Each replaces the text as the matching constructor builds it and returns the string.
  GString& operator=(const GString& other);
  GString& operator=(const wchar_t* text);
  GString& operator=(const char* text);
  GString& operator=(const unsigned char* text);
  // A one-character text.
  GString& operator=(wchar_t character);

  // Replaces the text from narrow text. A negative count takes the bytes from start up to the terminating 0
  // (nothing when start is not below the text's length). A count of 0 or more takes exactly count bytes
  // from start, 0 bytes included, when start is 0 or below the text's length (otherwise the text stays
  // empty); the caller guarantees that the source holds them. A negative start counts as 0; a null source
  // leaves the text empty.
  void Copy(const char* source, int count, int start);
  // Replaces the text from wide text. Count -1 takes the characters from start up to the terminating 0
  // (nothing when start lies beyond it); a count of 0 or more appends the count characters from start one at
  // a time, skipping 0 characters (the caller guarantees that the source holds them); a count below -1 leaves
  // the text empty. A negative start counts as 0; a null source leaves the text empty.
  void Copy(const wchar_t* source, int count, int start);
  // Replaces the text from 0-terminated data in the given encoding. The data itself is never modified (also
  // not for type 3). A null pointer empties the text; an unknown type leaves the text unchanged. Where
  // wchar_t is 32 bits, types 2 and 3 join surrogate pairs into one character; a lone surrogate is kept as
  // the character of its value. Invalid UTF-8 sequences become U+FFFD.
  void Set(void* data, GStringType type);
  // Makes the text empty.
  void Empty();

  // The number of characters (both alike).
  int GetLength();
  int GetSize();
  // Nonzero when the length is 0.
  int IsEmpty();
  // The character at a position; 0 for a position at or beyond the end.
  wchar_t GetAt(int position);
  wchar_t operator[](int position) const;
  // Replaces the character at a position; nothing for a position at or beyond the end.
  void SetAt(int position, wchar_t character);
  // The 0-terminated text, valid until the string changes.
  operator const wchar_t*() const;

  // Hands out a work buffer of length + 1 characters holding a copy of the first min(length, text length)
  // characters; the rest of the buffer, up to and including position length, is filled with 0. The text is
  // unchanged until ReleaseBuffer. A buffer from an earlier call is released first. A negative length counts
  // as 0.
  wchar_t* GetBuffer(int length);
  // GetBuffer with the text's length.
  wchar_t* GetBuffer();
  // Without a work buffer nothing happens. Otherwise the text becomes the buffer up to its first 0 (length
  // negative) or exactly its first length characters (at most the buffer's length), and the buffer is
  // released.
  void ReleaseBuffer(int length);
  // Cuts the text to a length or pads it with spaces (0x20) up to it; a negative length counts as 0.
  void SetLength(int length);

  // Negative, 0 or positive as the text sorts before, equal to or after the argument, character by character
  // by value up to the first 0; 1 for a null argument.
  int Compare(const wchar_t* text);
  // As Compare, with A-Z folded to a-z (no other character is folded).
  int CompareNoCase(const wchar_t* text);
  // As Compare, by the collation of the current locale (wcscoll); 1 for a null argument.
  int Collate(const wchar_t* text);

  // Positions of a first or last occurrence, or -1 when there is none or the argument is null.
  int Find(wchar_t character);
  // The first occurrence at or after start; -1 when start is at or beyond the end.
  int Find(wchar_t character, int start);
  // An empty text is found at position 0.
  int Find(const wchar_t* text);
  // An empty text is found at start when start is not beyond the end; a negative start counts as 0.
  int Find(const wchar_t* text, int start);
  // The first character that is one of the set.
  int FindOneOf(const wchar_t* set);
  int ReverseFind(wchar_t character);

  // The first count characters; the whole text when count is at least the length or negative.
  GString Left(int count);
  // The last count characters; the whole text when count is at least the length.
  GString Right(int count);
  // From position first to the end.
  GString Mid(int first);
  // Count characters from position first, fewer when the text ends first; empty for a negative count.
  GString Mid(int first, int count);
  // The longest beginning made only of characters of the set; empty for a null set.
  GString SpanIncluding(const wchar_t* set);
  // The longest beginning made of no character of the set; empty for a null set or an empty string.
  GString SpanExcluding(const wchar_t* set);

  // Appends the other's text up to its first 0. Appending a string to itself doubles it.
  void Append(const GString& other);
  GString& operator+=(const GString& other);
  GString& operator<<(const GString& other);
  // Appends the text; a null text appends nothing.
  void Append(const wchar_t* text);
  // Appends the character count times; a 0 character appends nothing.
  void Append(wchar_t character, int count);
  // Append the character unchanged, a 0 included.
  GString& operator+=(wchar_t character);
  GString& operator<<(wchar_t character);
  // Inserts before a position (a negative one counts as 0; one at or beyond the end appends); returns the
  // new length. A null text changes nothing.
  int Insert(int position, wchar_t character);
  int Insert(int position, const wchar_t* text);
  // Removes count characters from position first; the range is cut to the text (nothing for a negative
  // first or count). Returns the new length.
  int Delete(int first, int count);
  // Removes every occurrence; returns how many were removed.
  int Remove(wchar_t character);
  // Replaces every occurrence; returns how many.
  int Replace(wchar_t oldCharacter, wchar_t newCharacter);
  // Replaces every occurrence of a text from left to right, without overlaps and without searching text a
  // replacement brought in; a null replacement removes the occurrences. An empty or null old text replaces
  // nothing. Returns the number of replacements.
  int Replace(const wchar_t* oldText, const wchar_t* newText);
  // Change a-z to A-Z, or A-Z to a-z; every other character stays.
  void MakeUpper();
  void MakeLower();
  // Reverses the order of the characters.
  void MakeReverse();
  // Remove white space (iswspace) at the start, or at the end.
  void TrimLeft();
  void TrimRight();
  // Remove a run of the character at the start, or at the end.
  void TrimLeft(wchar_t character);
  void TrimRight(wchar_t character);

  // Replaces the text with the printf-style formatting of the arguments (vfwprintf rules: "%ls" takes a wide
  // text, "%s" a narrow one converted in the current locale). The text ends at the first 0 of the result; a
  // format that cannot be carried out leaves the text empty.
  void Format(const wchar_t* format, ...);
  // Replaces the text with the value of an environment variable (UTF-8 on Linux); 1 when the value is not
  // empty, else 0 with the text empty.
  int GetEnvironmentVariableW(const wchar_t* name);
  // A new system string holding the text (SysAllocStringLen, SysString.h); the argument is not used. The
  // caller releases it with SysFreeString.
  wchar_t* AllocSysString(unsigned long unused);
  // Reallocates the given system string to hold the text (SysReAllocStringLen) and returns it; the second
  // argument is not used. A null pointer gives a null result.
  wchar_t* SetSysString(wchar_t** systemString, unsigned long unused);

 private:
  struct Adopt {};
  // Takes the text as it is, 0 characters included (for extraction results).
  LFQ_FOUNDATION_LOCAL GString(Adopt, std::wstring&& text);
  LFQ_FOUNDATION_LOCAL void ReleaseWorkBuffer();

  std::wstring m_text;
  std::unique_ptr<wchar_t[]> m_workBuffer;
  int m_workLength = 0;
};
