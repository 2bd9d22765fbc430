// Word-at-a-time substring search: four bytes per step.
#ifndef STRCYCLES_SEARCH_WORDSWEEP_H_
#define STRCYCLES_SEARCH_WORDSWEEP_H_

// Returns the leftmost occurrence of `pattern` in `source`, or null; both are
// NUL-terminated and may start at any address.
//
// It reads whole 4-byte words, one word ahead on 32-bit x86, so the caller
// must keep storage readable past each terminator: at least 7 bytes after the
// pattern's, and at least max(7, n - 2) bytes after the source's, where n is
// the pattern's length (a candidate near the source's end is checked from its
// far end first). Neither string is changed.
//
// An empty pattern is outside the word scan's own rules: its candidate check
// would have no byte to start from. It returns `source`, as strstr does, and
// reads nothing but the pattern's first byte.
const char* Wordsweep(const char* source, const char* pattern);

#endif  // STRCYCLES_SEARCH_WORDSWEEP_H_
