// Input decoding and exactly sized buffers shared by the fuzz targets.
#ifndef STRCYCLES_FUZZ_FUZZ_SUPPORT_H_
#define STRCYCLES_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A heap block that holds `text` and its NUL `offset` bytes in, followed by
// exactly `slack` bytes from `fill` (cycled; 0xA5 when fill is empty), and
// nothing else: AddressSanitizer flags the first byte read beyond it. The
// offset moves the text's start across word boundaries.
struct ExactText {
  char* block;
  const char* text;

  ExactText(const std::string& content, std::size_t offset, std::size_t slack,
            const std::string& fill = std::string()) {
    const std::size_t size = offset + content.size() + 1 + slack;
    block = static_cast<char*>(std::malloc(size));
    std::memset(block, 0x5A, offset);
    std::memcpy(block + offset, content.data(), content.size());
    char* tail = block + offset + content.size();
    *tail++ = '\0';
    for (std::size_t i = 0; i < slack; ++i) {
      tail[i] = fill.empty() ? static_cast<char>(0xA5) : fill[i % fill.size()];
    }
    text = block + offset;
  }
  ~ExactText() { std::free(block); }
  ExactText(const ExactText&) = delete;
  ExactText& operator=(const ExactText&) = delete;
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
