#include "search/wordsweep.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint32_t ONES = 0x01010101;
constexpr std::uint32_t HIGHS = 0x80808080;

template <class T>
inline T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline std::uint32_t Word(const char* p) {
  return Load<std::uint32_t>(p);
}

template <class T>
inline T Differ(const char* q, const char* pattern, std::size_t i) {
  return Load<T>(q + i) ^ Load<T>(pattern + i);
}

// Compares q[n-1..1] with the pattern's, far end first, several pairs at a
// time; overlapping pieces keep every read inside those n-1 bytes.
inline bool Matches(const char* q, const char* pattern, std::size_t n) {
  if (n > 8) {
    std::size_t k = n - 8;
    for (; k > 8; k -= 8)
      if (Differ<std::uint64_t>(q, pattern, k)) return false;
    return !(Differ<std::uint64_t>(q, pattern, k) | Differ<std::uint64_t>(q, pattern, 1));
  }
  if (n > 4)
    return !(Differ<std::uint32_t>(q, pattern, n - 4) | Differ<std::uint32_t>(q, pattern, 1));
  if (n > 2)
    return !(Differ<std::uint16_t>(q, pattern, n - 2) | Differ<std::uint16_t>(q, pattern, 1));
  return n == 1 || q[1] == pattern[1];
}

}  // namespace

// Every label on a 16-byte boundary, so that no backward jump can land off
// one, whatever order the compiler lays the blocks out in.
#if defined(__GNUC__) && !defined(__clang__)
#define ALIGNED_JUMP_TARGETS __attribute__((optimize("align-jumps=16", "align-labels=16")))
#else
#define ALIGNED_JUMP_TARGETS
#endif

ALIGNED_JUMP_TARGETS const char* Wordsweep(const char* source, const char* pattern) {
  const unsigned char c = static_cast<unsigned char>(pattern[0]);
  if (!c) return source;

  const char* p = pattern;
  const char* at;
  std::uint32_t w = Word(p), ahead, zeros;
  for (;;) {
    ahead = Word(p + 4);
    if (__builtin_expect_with_probability(((w - ONES) & HIGHS) != 0, 1, 0.05)) {
      zeros = (w - ONES) & ~w & HIGHS;
      if (zeros) {
        at = p;
        break;
      }
      p += 4;
      w = ahead;
      continue;
    }
    w = Word(p + 8);
    p += 8;
    // One pointer, stepped before the test: left to itself the compiler
    // keeps a second copy and adds a move to every pass.
    asm("" : "+r"(p));
    if (__builtin_expect(((ahead - ONES) & HIGHS) != 0, 0)) {
      zeros = (ahead - ONES) & ~ahead & HIGHS;
      if (zeros) {
        at = p - 4;
        break;
      }
    }
  }
  const std::size_t n =
      static_cast<std::size_t>(at - pattern) + (static_cast<unsigned>(__builtin_ctz(zeros)) >> 3);

  const std::uint32_t C = c * ONES;
  const char* s = source;
  std::uint32_t flags;
  w = Word(s);
  for (;;) {
    ahead = Word(s + 4);
    flags = ((w - ONES) | ((w ^ C) - ONES)) & HIGHS;
    if (__builtin_expect_with_probability(flags != 0, 1, 0.05)) {
      at = s;
    } else {
      w = Word(s + 8);
      flags = ((ahead - ONES) | ((ahead ^ C) - ONES)) & HIGHS;
      s += 8;
      asm("" : "+r"(s));
      if (__builtin_expect(flags == 0, 1)) continue;
      at = s - 4;
    }
    // Every lane holding c or 0 is flagged, but so are lanes with bytes of
    // 0x81 and up and lanes a borrow reached: each is looked at again.
    do {
      const char* q = at + (static_cast<unsigned>(__builtin_ctz(flags)) >> 3);
      const unsigned char byte = static_cast<unsigned char>(*q);
      if (byte == c && Matches(q, pattern, n)) return q;
      if (!byte) return nullptr;
      flags &= flags - 1;
    } while (flags);
    s = at + 4;
    w = Word(s);
  }
}
