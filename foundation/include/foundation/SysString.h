#pragma once

#include <foundation/Export.h>

#ifdef _WIN32
// The system's own OLE Automation strings (oleaut32).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it builds on.
#include <oleauto.h>
#else
// Counted system strings, the Linux counterpart of OLE Automation strings: a block holding the length in
// bytes (32 bits) just before the characters, then the characters and a 0 character. The pointer handed out
// points at the characters; it is allocated, reallocated and freed only through these functions.

// A new string of length characters copied from text (zero-filled when text is null); null when the length
// is too large or memory runs out.
LFQ_FOUNDATION_API wchar_t* SysAllocStringLen(const wchar_t* text, unsigned int length);
// Replaces *string with a new string of length characters from text (which may point into the old one) and
// frees the old one; 1 on success, else 0 with *string unchanged.
LFQ_FOUNDATION_API int SysReAllocStringLen(wchar_t** string, const wchar_t* text, unsigned int length);
// Frees a string; nothing for null.
LFQ_FOUNDATION_API void SysFreeString(wchar_t* string);
// The length in characters; 0 for null.
LFQ_FOUNDATION_API unsigned int SysStringLen(const wchar_t* string);
#endif
