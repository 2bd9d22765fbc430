// The byte-at-a-time substring search.
#ifndef STRCYCLES_SEARCH_FINSTR_H_
#define STRCYCLES_SEARCH_FINSTR_H_

#include <cstdint>

// Finds the first occurrence of `pattern` in `source`, scanning from
// source + start, and returns its offset from source's first byte, or 0 when
// there is none (so a match at offset 0 also gives 0). Bytes compare as
// unsigned values. Neither string's length is measured first, and no byte past
// either terminator is read. `start` must not exceed source's length.
//
// Offsets are 32-bit, so `source` must be shorter than 4 GiB: beyond that a
// match's offset would be cut to its low 32 bits (one at 2^32 would read as
// none).
//
// An empty pattern returns `start` without scanning: it occurs where the scan
// begins. Taking its terminator as the byte to look for would instead run the
// check past both strings' ends.
std::uint32_t finstr(std::uint32_t start, const char* source, const char* pattern);

#endif  // STRCYCLES_SEARCH_FINSTR_H_
