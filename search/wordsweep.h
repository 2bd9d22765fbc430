#ifndef STRCYCLES_SEARCH_WORDSWEEP_H_
#define STRCYCLES_SEARCH_WORDSWEEP_H_

// Word-at-a-time search: the leftmost `pattern` in `source`, or null; an empty pattern gives
// `source`, as strstr does. It reads whole 4-byte words: storage must stay readable 7 bytes past
// the pattern's terminator and max(7, n - 2) past the source's, n being the pattern's length.
const char* Wordsweep(const char* source, const char* pattern);

#endif  // STRCYCLES_SEARCH_WORDSWEEP_H_
