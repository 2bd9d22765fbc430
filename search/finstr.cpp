#include "search/finstr.h"

#include <cstddef>
#include <cstdint>

#include "search/code_layout.h"

namespace {

using Byte = unsigned char;

// Scan passes test this many source bytes before branching back, check passes
// this many pattern bytes.
constexpr std::size_t kScanUnroll = 16;
constexpr std::size_t kCheckUnroll = 8;

// The scan is bound by how many branches the processor executes per cycle
// (three on the machine it was tuned on), not by arithmetic. So the second
// byte of every kFoldEvery gets both of its tests from one branch on a sign
// bit, paid for with arithmetic on otherwise idle units; folding more bytes
// than that made the arithmetic the limit instead.
constexpr std::size_t kFoldEvery = 4;

// b - 1 is negative only for the terminator, (b ^ first) - 1 only for the
// pattern's first byte.
inline bool EitherTestHits(std::uint32_t b, std::uint32_t first) {
  return __builtin_expect(static_cast<std::int32_t>((b - 1) | ((b ^ first) - 1)) < 0, 0);
}

// A byte in a whole register. 32-bit x86 has byte forms of only four
// registers, and a comparison the compiler narrows to bytes needs both sides
// in them: in the check that cost a copy per byte. Loaded by the asm, the
// byte's range is hidden, so every test on it stays a full-width one, which
// any register can do. AddressSanitizer cannot see into the asm, so its
// builds load plainly, from the same addresses.
inline std::uint32_t WideByte(const Byte* p) {
#if defined(__i386__) && !defined(__SANITIZE_ADDRESS__)
  std::uint32_t b;
  asm("movzbl %1, %0" : "=r"(b) : "m"(*p));
  return b;
#else
  return ByteLoadedWhole(p);
#endif
}

}  // namespace

STRCYCLES_ALIGNED_LABELS std::uint32_t finstr(std::uint32_t start, const char* source,
                                              const char* pattern) {
  const Byte* const text = reinterpret_cast<const Byte*>(source);
  const Byte* const pat = reinterpret_cast<const Byte*>(pattern);
  const Byte first = pat[0];
  if (first == 0) return start;
  // Hidden from the compiler's range tracking, which would otherwise narrow
  // the folded test's xor to a byte and widen it again on every folded step,
  // and make the first-byte test a byte comparison (see WideByte).
  std::uint32_t wide_first = first;
  asm("" : "+r"(wide_first));

  const Byte* p = InRegister(text) + start;
  for (;;) {
    // Scan: the first-byte test comes before the terminator test.
    for (;;) {
#pragma GCC unroll kScanUnroll
      for (std::size_t i = 0; i < kScanUnroll; ++i) {
        const std::uint32_t b = p[i];
        const bool folded = i % kFoldEvery == 1;
        if (!folded || EitherTestHits(b, wide_first)) {
          if (b == wide_first) {
            p += i;
            goto check;
          }
          // After a folded hit, any byte but the first is the terminator.
          if (folded || b == 0) return 0;
        }
      }
      p += kScanUnroll;
    }
  check:
    // p[0] matches; compare forwards, the pattern's end tested first.
    for (std::size_t k = 1;; k += kCheckUnroll) {
#pragma GCC unroll kCheckUnroll
      for (std::size_t j = 0; j < kCheckUnroll; ++j) {
        const std::uint32_t h = WideByte(p + k + j);
        const std::uint32_t n = WideByte(pat + k + j);
        if (n == 0) return static_cast<std::uint32_t>(p - text);
        if (h != n) goto next;
      }
    }
  next:
    ++p;
  }
}
