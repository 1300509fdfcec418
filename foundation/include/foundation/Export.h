#pragma once

// Marks the classes and functions that the foundation library exports; everything else in the library is
// hidden (it is built with -fvisibility=hidden). LFQ_FOUNDATION_LOCAL keeps a member of an exported class
// out of the interface. LFQ_FOUNDATION_BUILDING is defined only while the library itself is compiled;
// LFQ_FOUNDATION_STATIC is for a program that compiles the sources into itself.
#if defined(LFQ_FOUNDATION_STATIC)
#define LFQ_FOUNDATION_API
#define LFQ_FOUNDATION_LOCAL
#elif defined(_WIN32)
#if defined(LFQ_FOUNDATION_BUILDING)
#define LFQ_FOUNDATION_API __declspec(dllexport)
#else
#define LFQ_FOUNDATION_API __declspec(dllimport)
#endif
#define LFQ_FOUNDATION_LOCAL
#else
#define LFQ_FOUNDATION_API __attribute__((visibility("default")))
#define LFQ_FOUNDATION_LOCAL __attribute__((visibility("hidden")))
#endif
