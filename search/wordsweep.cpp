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

using Piece = std::uintptr_t;
constexpr std::size_t kPiece = sizeof(Piece);

// A hint only where pieces are 8 bytes: the fixed task's 13-byte needle then has none beyond the
// last two. Written into each branch, since a hint an inlined helper returns can be dropped.
#define WHERE_PIECES_ARE_WIDE(x, expected) (kPiece > 4 ? __builtin_expect((x), (expected)) : (x))

// Compares q[n-1..1] with the pattern's, far end first, a machine word of
// pairs at a time; overlapping pieces keep every read inside those n-1 bytes.
inline bool Matches(const char* q, const char* pattern, std::size_t n) {
  if (WHERE_PIECES_ARE_WIDE(n > kPiece, 1)) {
    std::size_t k = n - kPiece;
    for (; WHERE_PIECES_ARE_WIDE(k > kPiece + 1, 0); k -= kPiece)
      if (Differ<Piece>(q, pattern, k)) return false;
    // The last two pieces, the fixed task's, by a compare and a branch each, the first hinted to
    // match; 4-byte pieces take one branch for both, which needs a register fewer.
    // Measured: docs/tuning.md#wordsweep.
    if (kPiece > 4) {
      if (__builtin_expect(Differ<Piece>(q, pattern, k) != 0, 0)) return false;
      return !Differ<Piece>(q, pattern, 1);
    }
    return !(Differ<Piece>(q, pattern, k) | Differ<Piece>(q, pattern, 1));
  }
  if (kPiece > 4 && n > 4)
    return !(Differ<std::uint32_t>(q, pattern, n - 4) | Differ<std::uint32_t>(q, pattern, 1));
  if (n > 2)
    return !(Differ<std::uint16_t>(q, pattern, n - 2) | Differ<std::uint16_t>(q, pattern, 1));
  return n == 1 || ByteLoadedWhole(q + 1) == static_cast<unsigned char>(pattern[1]);
}

inline bool Flagged(std::uint32_t w) {
  return (w - kOnes) & kHighs;
}

inline std::uint32_t Flags(std::uint32_t w, std::uint32_t C) {
  return ((w - kOnes) | ((w ^ C) - kOnes)) & kHighs;
}

// The first byte in every lane, and back: on x86-64 the check takes it from C's low lane, so that
// c holds no register across the sweep that a call must save; C is hidden, else c shows through.
inline std::uint32_t FirstByteInEveryLane(std::uint32_t c) {
  std::uint32_t C = InRegister(c) * kOnes;
#if defined(__x86_64__)
  asm("" : "+r"(C));
#endif
  return C;
}

inline std::uint32_t FirstByte([[maybe_unused]] std::uint32_t c, [[maybe_unused]] std::uint32_t C) {
#if defined(__x86_64__)
  return C & 0xFF;
#else
  return c;
#endif
}

}  // namespace

// A flagged word is rare in text; the fourth word's exit is hinted per target below.
#define RARELY(x) __builtin_expect_with_probability((x), 1, 0.05)

// The fixed task's calls are bound by the front end: each taken branch, each 64-byte line crossed.
// So on x86-64 short texts leave by the fourth word's exit, the straight path, the routine starts
// on a line and words load as tested; 32-bit code loads ahead. Measured: docs/tuning.md#wordsweep.
#if defined(__x86_64__)
#define FOURTH_WORD_EXIT(x) __builtin_expect(!!(x), 1)
#define WORDSWEEP_START __attribute__((aligned(64)))
#define EARLY_LOAD(statement)
#define TESTED_WORD(loaded, at) Word(at)
#else
#define FOURTH_WORD_EXIT(x) __builtin_expect((x), 0)
#define WORDSWEEP_START STRCYCLES_ALIGNED_32
#define EARLY_LOAD(statement) statement
#define TESTED_WORD(loaded, at) (loaded)
#endif

#define WORDSWEEP_CODE                                                                 \
  STRCYCLES_ALIGNED_LABELS STRCYCLES_INVARIANTS_IN_PLACE STRCYCLES_FOR_SEVEN_REGISTERS \
      WORDSWEEP_START

WORDSWEEP_CODE const char* Wordsweep(const char* source, const char* pattern) {
  const std::uint32_t c = static_cast<unsigned char>(pattern[0]);
  if (!c) return source;

  const char* p = pattern;
  [[maybe_unused]] std::uint32_t w = Word(p), ahead;
  std::uint32_t word, zeros;
  for (;;) {
    for (;;) {
      EARLY_LOAD(ahead = Word(p + 4));
      if (RARELY(Flagged(word = TESTED_WORD(w, p)))) break;
      EARLY_LOAD(w = Word(p + 8));
      if (RARELY(Flagged(word = TESTED_WORD(ahead, p + 4)))) {
        p += 4;
        break;
      }
      EARLY_LOAD(ahead = Word(p + 12));
      if (RARELY(Flagged(word = TESTED_WORD(w, p + 8)))) {
        p += 8;
        break;
      }
      EARLY_LOAD(w = Word(p + 16));
      if (FOURTH_WORD_EXIT(Flagged(word = TESTED_WORD(ahead, p + 12)))) {
        p += 12;
        break;
      }
      p += 16;
      // Stepped only when going round, so no exit needs correcting; through an asm, else the
      // compiler keeps a second copy of the pointer and moves it every pass.
      asm("" : "+r"(p));
    }
    zeros = (word - kOnes) & ~word & kHighs;
    if (__builtin_expect(zeros != 0, 1)) break;
    p += 4;
    w = Word(p);
  }
  std::size_t n =
      static_cast<std::size_t>(p - pattern) + (static_cast<unsigned>(__builtin_ctz(zeros)) >> 3);

  const std::uint32_t C = FirstByteInEveryLane(c);
  const char* s = source;
  std::uint32_t flags;
  w = Word(s);
  for (;;) {
    for (;;) {
      EARLY_LOAD(ahead = Word(s + 4));
      if (RARELY(flags = Flags(TESTED_WORD(w, s), C))) break;
      EARLY_LOAD(w = Word(s + 8));
      if (RARELY(flags = Flags(TESTED_WORD(ahead, s + 4), C))) {
        s += 4;
        break;
      }
      EARLY_LOAD(ahead = Word(s + 12));
      if (RARELY(flags = Flags(TESTED_WORD(w, s + 8), C))) {
        s += 8;
        break;
      }
      EARLY_LOAD(w = Word(s + 16));
      if (FOURTH_WORD_EXIT(flags = Flags(TESTED_WORD(ahead, s + 12), C))) {
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
      // c is not 0, so a byte that fails the pattern's check is none either.
      const std::uint32_t byte = ByteLoadedWhole(q);
      if (byte == FirstByte(c, C)) {
        NotHoisted(n);
        if (Matches(q, pattern, n)) return q;
      } else if (!byte) {
        return nullptr;
      }
      flags &= flags - 1;
    } while (flags);
    s += 4;
    w = Word(s);
  }
}
