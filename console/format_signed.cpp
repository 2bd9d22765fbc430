#include <cstdint>

#include "console/text.h"

void FormatSigned(std::int32_t value, char* buffer) {
  if (value == 0) {
    buffer[0] = '0';
    buffer[1] = '\0';
    return;
  }
  char* digits = buffer;
  // Unsigned negation, so the most negative value keeps all ten digits.
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) {
    *digits++ = '-';
    magnitude = 0u - magnitude;
  }
  char* end = digits;
  while (magnitude != 0) {
    *end++ = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  *end = '\0';
  for (char* back = end - 1; digits < back; ++digits, --back) {
    const char swap = *digits;
    *digits = *back;
    *back = swap;
  }
}
