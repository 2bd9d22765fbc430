#include "search/wordsweep.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint32_t ONES = 0x01010101;
constexpr std::uint32_t HIGHS = 0x80808080;

inline std::uint32_t Word(const char* p) {
  std::uint32_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

inline bool Matches(const char* q, const char* pattern, std::size_t n) {
  std::size_t k = n - 1;
  for (; k >= 4; k -= 4)
    if (Word(q + k - 3) != Word(pattern + k - 3)) return false;
  if (k > 0 && n > 4) return Word(q + 1) == Word(pattern + 1);
  for (; k > 0; --k)
    if (q[k] != pattern[k]) return false;
  return true;
}

}  // namespace

const char* Wordsweep(const char* source, const char* pattern) {
  const unsigned char c = static_cast<unsigned char>(pattern[0]);
  if (!c) return source;

  const char* p = pattern;
  std::uint32_t w = Word(p);
  std::uint32_t zeros;
  for (;;) {
    const std::uint32_t next = Word(p + 4);
    if ((w - ONES) & HIGHS) {
      zeros = (w - ONES) & ~w & HIGHS;
      if (zeros) break;
    }
    w = next;
    p += 4;
  }
  const std::size_t n = static_cast<std::size_t>(p - pattern) + __builtin_ctz(zeros) / 8;

  const std::uint32_t C = c * ONES;
  const char* s = source;
  w = Word(s);
  for (;;) {
    const std::uint32_t next = Word(s + 4);
    std::uint32_t flags = ((w - ONES) | ((w ^ C) - ONES)) & HIGHS;
    // Every lane holding c or 0 is flagged, but so are lanes with bytes of
    // 0x81 and up and lanes a borrow reached: each is looked at again.
    while (flags) {
      const unsigned shift = __builtin_ctz(flags) - 7;
      const unsigned char b = static_cast<unsigned char>(w >> shift);
      const char* q = s + shift / 8;
      if (b == c) {
        if (Matches(q, pattern, n)) return q;
      } else if (!b) {
        return nullptr;
      }
      flags &= flags - 1;
    }
    w = next;
    s += 4;
  }
}
