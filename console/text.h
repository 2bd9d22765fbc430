#ifndef STRCYCLES_CONSOLE_TEXT_H_
#define STRCYCLES_CONSOLE_TEXT_H_

#include <cstdint>

// Bytes before the first NUL. Reads whole 4-byte words counted from `text`, so storage must stay
// readable to the end of the word that holds the terminator (at most 3 bytes past it).
std::uint32_t TextLength(const char* text);

// Signed decimal text and a NUL; `buffer` needs room for 12 bytes.
void FormatSigned(std::int32_t value, char* buffer);

#endif  // STRCYCLES_CONSOLE_TEXT_H_
