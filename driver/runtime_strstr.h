// The C runtime library's strstr as the first row calls it: msvcrt.dll's on
// Windows, the C library's elsewhere.
#ifndef STRCYCLES_DRIVER_RUNTIME_STRSTR_H_
#define STRCYCLES_DRIVER_RUNTIME_STRSTR_H_

#if defined(_WIN32)

// The mingw headers declare strstr without dllimport, so a plain call would go
// through a jump stub. Naming the import's address slot gives the call a DLL
// function gets from its own compiler, `call *__imp__strstr`: one indirect
// call per pass and nothing else. The slot is not const, so the loop's memory
// barrier keeps the compiler from holding its value in a register.
extern "C" char* (*msvcrt_strstr_import)(const char*, const char*)
#if defined(__i386__)
    __asm__("__imp__strstr");
#else
    __asm__("__imp_strstr");
#endif

inline char* RuntimeStrstr(const char* haystack, const char* needle) {
  return msvcrt_strstr_import(haystack, needle);
}

#else

#include <cstring>

inline char* RuntimeStrstr(const char* haystack, const char* needle) {
  return const_cast<char*>(std::strstr(haystack, needle));
}

#endif

#endif  // STRCYCLES_DRIVER_RUNTIME_STRSTR_H_
