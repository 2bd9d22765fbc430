// FormatSigned against std::to_chars. The first four input bytes are the
// value, so every 32-bit value is one input away. The 12-byte buffer is a
// block of its own, so a write past it is caught.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/text.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);
  const auto value = static_cast<std::int32_t>(bits);

  char expected[16];
  const std::to_chars_result end = std::to_chars(expected, expected + sizeof expected, value);
  *end.ptr = '\0';

  constexpr std::size_t kBufferSize = 12;
  char* buffer = static_cast<char*>(std::malloc(kBufferSize));
  std::memset(buffer, 0x5A, kBufferSize);
  FormatSigned(value, buffer);
  const std::size_t length = static_cast<std::size_t>(end.ptr - expected);
  if (std::memcmp(buffer, expected, length + 1) != 0) {
    const std::string got(buffer, ::strnlen(buffer, kBufferSize));
    std::free(buffer);
    fuzz::Fail("FormatSigned", expected, got, value, 0);
  }
  std::free(buffer);
  return 0;
}
