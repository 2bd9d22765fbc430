// strstr as the first row calls it: msvcrt.dll's on Windows, libc's elsewhere.
#ifndef STRCYCLES_DRIVER_RUNTIME_STRSTR_H_
#define STRCYCLES_DRIVER_RUNTIME_STRSTR_H_

#if defined(_WIN32)

// Called through the import's address slot, `call *__imp__strstr`, as a DLL
// function is: the mingw headers declare strstr without dllimport, which adds
// a jump stub. The slot is not const, so the loop's barrier reloads it.
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
