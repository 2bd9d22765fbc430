#ifndef STRCYCLES_SEARCH_FINSTR_H_
#define STRCYCLES_SEARCH_FINSTR_H_

#include <cstdint>

// Byte-at-a-time search: the offset from `source` of the first `pattern` at or after source +
// start, or 0 for none (as for a match at 0); an empty pattern gives `start`. Bytes compare
// unsigned; no byte past a terminator is read. start <= source's length < 4 GiB (32-bit offsets).
std::uint32_t finstr(std::uint32_t start, const char* source, const char* pattern);

#endif  // STRCYCLES_SEARCH_FINSTR_H_
