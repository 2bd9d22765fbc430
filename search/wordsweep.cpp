#include "search/wordsweep.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "search/code_layout.h"

namespace {

constexpr std::uint32_t kOnes = 0x01010101;
constexpr std::uint32_t kHighs = 0x80808080;

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

// The machine's own word: the check compares this many pairs at a time.
using Piece = std::uintptr_t;
constexpr std::size_t kPiece = sizeof(Piece);

// Whether a piece lies beyond the last two, at offset k. Patterns that long
// are rare where a piece is 8 bytes; where it is 4 the fixed task's needle,
// 13 bytes, is one of them.
inline bool PieceBeyondLastTwo(std::size_t k) {
  if (kPiece > 4) return __builtin_expect(k > kPiece + 1, 0);
  return k > kPiece + 1;
}

// Compares q[n-1..1] with the pattern's, far end first, a machine word of
// pairs at a time; overlapping pieces keep every read inside those n-1 bytes.
inline bool Matches(const char* q, const char* pattern, std::size_t n) {
  if (n > kPiece) {
    std::size_t k = n - kPiece;
    for (; PieceBeyondLastTwo(k); k -= kPiece)
      if (Differ<Piece>(q, pattern, k)) return false;
    return !(Differ<Piece>(q, pattern, k) | Differ<Piece>(q, pattern, 1));
  }
  if (kPiece > 4 && n > 4)
    return !(Differ<std::uint32_t>(q, pattern, n - 4) | Differ<std::uint32_t>(q, pattern, 1));
  if (n > 2)
    return !(Differ<std::uint16_t>(q, pattern, n - 2) | Differ<std::uint16_t>(q, pattern, 1));
  return n == 1 || q[1] == pattern[1];
}

inline bool Flagged(std::uint32_t w) {
  return (w - kOnes) & kHighs;
}

inline std::uint32_t Flags(std::uint32_t w, std::uint32_t C) {
  return ((w - kOnes) | ((w ^ C) - kOnes)) & kHighs;
}

}  // namespace

// A flagged word is rare in text, and the last of four rarer still: it is
// the one the sweep goes round again after.
#define RARELY(x) __builtin_expect_with_probability((x), 1, 0.05)
#define LAST_RARELY(x) __builtin_expect((x), 0)

// Layout: a flag leaves the four-word pass to code further on, and the pass
// steps its pointer only when it goes round again, so a short string's exit
// needs no correction; the pointer is stepped through an empty asm, else the
// compiler keeps a second copy and moves it every pass. The routine starts on
// a 32-byte boundary: the fixed task measured up to 0.8 cycles slower at some
// 16-byte offsets within a 64-byte line, and both 32-byte ones are good.
#define WORDSWEEP_CODE                                                                 \
  STRCYCLES_ALIGNED_LABELS STRCYCLES_INVARIANTS_IN_PLACE STRCYCLES_FOR_SEVEN_REGISTERS \
      STRCYCLES_ALIGNED_32

WORDSWEEP_CODE const char* Wordsweep(const char* source, const char* pattern) {
  const std::uint32_t c = static_cast<unsigned char>(pattern[0]);
  if (!c) return source;

  const char* p = pattern;
  std::uint32_t w = Word(p), ahead, word, zeros;
  for (;;) {
    for (;;) {
      ahead = Word(p + 4);
      if (RARELY(Flagged(word = w))) break;
      w = Word(p + 8);
      if (RARELY(Flagged(word = ahead))) {
        p += 4;
        break;
      }
      ahead = Word(p + 12);
      if (RARELY(Flagged(word = w))) {
        p += 8;
        break;
      }
      w = Word(p + 16);
      if (LAST_RARELY(Flagged(word = ahead))) {
        p += 12;
        break;
      }
      p += 16;
      asm("" : "+r"(p));
    }
    zeros = (word - kOnes) & ~word & kHighs;
    if (__builtin_expect(zeros != 0, 1)) break;
    p += 4;
    w = Word(p);
  }
  const std::size_t n =
      static_cast<std::size_t>(p - pattern) + (static_cast<unsigned>(__builtin_ctz(zeros)) >> 3);

  const std::uint32_t C = InRegister(c) * kOnes;
  const char* s = source;
  std::uint32_t flags;
  w = Word(s);
  for (;;) {
    for (;;) {
      ahead = Word(s + 4);
      if (RARELY(flags = Flags(w, C))) break;
      w = Word(s + 8);
      if (RARELY(flags = Flags(ahead, C))) {
        s += 4;
        break;
      }
      ahead = Word(s + 12);
      if (RARELY(flags = Flags(w, C))) {
        s += 8;
        break;
      }
      w = Word(s + 16);
      if (LAST_RARELY(flags = Flags(ahead, C))) {
        s += 12;
        break;
      }
      s += 16;
      asm("" : "+r"(s));
    }
    // Every lane holding c or 0 is flagged, but so are lanes with bytes of
    // 0x81 and up and lanes a borrow reached: each is looked at again.
    do {
      const char* q = s + (static_cast<unsigned>(__builtin_ctz(flags)) >> 3);
      const std::uint32_t byte = static_cast<unsigned char>(*q);
      if (byte == c && Matches(q, pattern, n)) return q;
      if (!byte) return nullptr;
      flags &= flags - 1;
    } while (flags);
    s += 4;
    w = Word(s);
  }
}
