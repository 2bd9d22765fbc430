#include "search/finstr.h"

#include <cstddef>

namespace {

using Byte = unsigned char;

// Scan passes test this many source bytes before branching back, check passes
// this many pattern bytes.
constexpr std::size_t kScanUnroll = 16;
constexpr std::size_t kCheckUnroll = 8;

}  // namespace

// Every label on a 16-byte boundary. The compiler rotates the unrolled loops,
// so their back edges land mid-pass where -falign-loops does not reach; with
// every jump target aligned, each loop head is aligned whatever the block
// order. The few nops this puts on the straight path measured as nothing.
#if defined(__GNUC__) && !defined(__clang__)
#define FINSTR_ALIGNED_LABELS __attribute__((optimize("align-labels=16")))
#else
#define FINSTR_ALIGNED_LABELS
#endif

FINSTR_ALIGNED_LABELS std::uint32_t finstr(std::uint32_t start, const char* source,
                                           const char* pattern) {
  const Byte* const text = reinterpret_cast<const Byte*>(source);
  const Byte* const pat = reinterpret_cast<const Byte*>(pattern);
  const Byte first = pat[0];
  if (first == 0) return start;

  const Byte* p = text + start;
  for (;;) {
    // Scan: the first-byte test comes before the terminator test.
    for (;;) {
#pragma GCC unroll kScanUnroll
      for (std::size_t i = 0; i < kScanUnroll; ++i) {
        if (p[i] == first) {
          p += i;
          goto check;
        }
        if (p[i] == 0) return 0;
      }
      p += kScanUnroll;
    }
  check:
    // p[0] matches; compare forwards, the pattern's end tested first.
    for (std::size_t k = 1;; k += kCheckUnroll) {
#pragma GCC unroll kCheckUnroll
      for (std::size_t j = 0; j < kCheckUnroll; ++j) {
        const Byte h = p[k + j];
        const Byte n = pat[k + j];
        if (n == 0) return static_cast<std::uint32_t>(p - text);
        if (h != n) goto next;
      }
    }
  next:
    ++p;
  }
}
