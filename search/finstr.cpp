#include "search/finstr.h"

#include <cstddef>
#include <cstdint>

#include "search/code_layout.h"

namespace {

using Byte = unsigned char;

// Source bytes a scan pass tests, and pattern bytes a check pass compares.
constexpr std::size_t kScanUnroll = 16;
constexpr std::size_t kCheckUnroll = 8;

// The scan is bound by the branches it executes, not by arithmetic: the second byte of every
// kFoldEvery gets both its tests from one branch on a sign bit. Measured: docs/tuning.md#finstr.
constexpr std::size_t kFoldEvery = 4;

// b - 1 is negative only for the terminator, (b ^ first) - 1 only for the pattern's first byte.
inline bool EitherTestHits(std::uint32_t b, std::uint32_t first) {
  return __builtin_expect(static_cast<std::int32_t>((b - 1) | ((b ^ first) - 1)) < 0, 0);
}

// A byte in a whole register, its range hidden so that every test on it stays full width: 32-bit
// x86 has byte forms of only four registers, and a byte compare would copy into one each time.
// AddressSanitizer cannot see into the asm, so its builds load plainly, from the same addresses.
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
  // Hidden from range tracking, which would narrow the tests against it to bytes (see WideByte).
  std::uint32_t wide_first = first;
  asm("" : "+r"(wide_first));

  const Byte* p = InRegister(text) + start;
  for (;;) {
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
