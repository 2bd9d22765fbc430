#include <cstdint>
#include <cstring>

#include "console/text.h"

namespace {
constexpr std::uint32_t kOnes = 0x01010101u;
constexpr std::uint32_t kHighs = 0x80808080u;
}  // namespace

std::uint32_t TextLength(const char* text) {
  std::uint32_t offset = 0;
  for (;;) {
    std::uint32_t w;
    std::memcpy(&w, text + offset, sizeof w);
    // Exact for the lowest zero byte: no borrow reaches a lane from below it.
    const std::uint32_t f = (w - kOnes) & ~w & kHighs;
    if (f != 0) {
      if (f & 0x8080u) return offset + ((f & 0x80u) ? 0 : 1);
      return offset + ((f & 0x800000u) ? 2 : 3);
    }
    offset += sizeof w;
  }
}
