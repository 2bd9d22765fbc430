// Input decoding, the plain reference search and the failure report shared by
// the fuzz targets. They place their texts as the unit tests do
// (tests/support/edge_text.h).
#ifndef STRCYCLES_FUZZ_FUZZ_SUPPORT_H_
#define STRCYCLES_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Reads the input front to back; past its end every read gives zeros, so any
// input decodes to some case.
struct Reader {
  const std::uint8_t* data;
  std::size_t size;

  std::uint32_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  std::uint32_t Word16() {
    const std::uint32_t low = Byte();
    return low | Byte() << 8;
  }
  // Bytes up to the next NUL or the end; the NUL is consumed.
  std::string Text() {
    std::string text;
    while (size != 0) {
      const std::uint8_t byte = *data++;
      --size;
      if (byte == 0) break;
      text.push_back(static_cast<char>(byte));
    }
    return text;
  }
};

// The leftmost offset at or after `start` where `pattern` occurs in `source`,
// bytes compared as unsigned values, or -1. Written for plainness only.
inline long LeftmostMatch(const std::string& source, const std::string& pattern,
                          std::size_t start) {
  for (std::size_t at = start; at + pattern.size() <= source.size(); ++at) {
    std::size_t k = 0;
    while (k < pattern.size() &&
           static_cast<unsigned char>(source[at + k]) == static_cast<unsigned char>(pattern[k])) {
      ++k;
    }
    if (k == pattern.size()) return static_cast<long>(at);
  }
  return -1;
}

// Prints the case and aborts, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(const char* what, const std::string& source,
                              const std::string& pattern, long expected, long got) {
  std::fprintf(stderr, "MISMATCH %s: source[%zu] pattern[%zu] expected %ld got %ld\n", what,
               source.size(), pattern.size(), expected, got);
  std::abort();
}

}  // namespace fuzz

#endif  // STRCYCLES_FUZZ_FUZZ_SUPPORT_H_
