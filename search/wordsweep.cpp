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

// Where a piece is 8 bytes the fixed task's needle, 13 bytes, is longer than
// one and has none beyond the last two; where it is 4 it has. Written into the
// branch itself: Clang drops a hint that an inlined helper returns.
#define WHERE_PIECES_ARE_WIDE(x, expected) (kPiece > 4 ? __builtin_expect((x), (expected)) : (x))

// Compares q[n-1..1] with the pattern's, far end first, a machine word of
// pairs at a time; overlapping pieces keep every read inside those n-1 bytes.
inline bool Matches(const char* q, const char* pattern, std::size_t n) {
  if (WHERE_PIECES_ARE_WIDE(n > kPiece, 1)) {
    std::size_t k = n - kPiece;
    for (; WHERE_PIECES_ARE_WIDE(k > kPiece + 1, 0); k -= kPiece)
      if (Differ<Piece>(q, pattern, k)) return false;
    // The last two pieces, the fixed task's: a compare and a branch each, as
    // Clang builds either form. Given them or'ed, GCC 11 and 12 xored both
    // before one branch, and the fixed task ran 0.15-0.35 ticks a call slower
    // back to back and 0.2 slower waiting (Zen 5); the two branches alone,
    // put into GCC's assembly, gained as much. Without the hint Clang 16 and
    // 19 reached the text sweep from the pattern sweep by a jump, a tick
    // slower. With 4-byte pieces, two branches cost GCC's 32-bit build a
    // register: it kept the candidate flags on the stack.
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

// The pattern's first byte in every lane, and back. On x86-64 the candidate
// check takes the byte from C's low lane, so that c need not stay in a
// register of its own across the sweep: with one value fewer live there,
// Clang saved one callee-saved register fewer on every call. C is hidden
// from the compiler, which would otherwise see through to c. The 32-bit
// routine keeps c, as its seven registers were allocated with it.
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

// A flagged word is rare in text, and the last of four rarer still: it is
// the one the sweep goes round again after.
#define RARELY(x) __builtin_expect_with_probability((x), 1, 0.05)

// Where the fourth word's exit goes, where the routine starts, and when the
// sweeps load their words. Back-to-back calls of the fixed task run close to
// eight instructions a core clock on AMD's Zen 5, so what costs is not work
// but how the front end meets the code: each taken branch, and each block
// whose taken branch spills into the next 64-byte line. When the sweeps loaded
// each word ahead of the one they tested, GCC 11 kept that word in r8, whose
// every use needs a REX prefix: eight more bytes in the sweep moved the
// candidate check's blocks across a line, and its calls cost 1.2-1.5 ticks
// (2-2.5 core clocks) more than GCC 12's, while a call that waits for the last
// cost the same; the same bytes put into GCC 12's sweep as bare REX prefixes
// cost it as much. So on x86-64 the exit after the fourth word, the one short
// texts take, is the straight path (GCC lays it out so; cmake/compilers.cmake
// asks Clang for the same), the routine starts on a line, where its blocks
// were measured best for every compiler, and each word is loaded as it is
// tested: GCC 11 and 12 then build the same code, and every compiler's build
// ran the fixed task 0.05-0.15 ticks a call faster than with words loaded
// ahead. The 32-bit routine keeps what was measured for it on Intel and Zen 4:
// words loaded ahead, a rare fourth exit and a 32-byte start.
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

// Layout: a flag leaves the four-word pass to code further on, and the pass
// steps its pointer only when it goes round again, so a short string's exit
// needs no correction; the pointer is stepped through an empty asm, else the
// compiler keeps a second copy and moves it every pass.
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
