// Wordsweep against a plain scan. Each block ends exactly where the permitted
// slack does: 7 bytes after the pattern's terminator, max(7, n - 2) after the
// source's. The source's slack holds the pattern's own bytes, so a sweep that
// ran past the terminator would find a match that is not there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "search/wordsweep.h"
#include "tests/support/edge_text.h"

// Input: offsets (1), pattern source (1), slack phase (1), pattern slack
// byte (1), then the pattern and the source, each ending at a NUL or the end.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in{data, size};
  const std::uint32_t offsets = in.Byte();
  const std::uint32_t pattern_from = in.Byte();
  const std::uint32_t phase = in.Byte();
  const char pattern_fill = static_cast<char>(in.Byte());
  std::string pattern = in.Text();
  const std::string source = in.Text();
  if (pattern_from & 0x80) {
    const std::size_t at = (pattern_from & 0x7F) % (source.size() + 1);
    pattern = source.substr(at, pattern.size());
  }

  const std::size_t n = pattern.size();
  const std::size_t source_slack = std::max<std::size_t>(7, n >= 2 ? n - 2 : 0);
  // The slack continues the pattern from byte `phase`: a source that ends in
  // the pattern's first bytes is followed by the rest of it.
  std::string source_fill;
  if (n != 0) source_fill = pattern.substr(phase % n) + pattern.substr(0, phase % n);

  const ExactText s(source, offsets & 7, source_slack, source_fill);
  const ExactText p(pattern, (offsets >> 3) & 7, 7, std::string(1, pattern_fill));
  const long expected = fuzz::LeftmostMatch(source, pattern, 0);
  const char* result = Wordsweep(s.text, p.text);
  const long got = result == nullptr ? -1 : static_cast<long>(result - s.text);
  if (got != expected) fuzz::Fail("Wordsweep", source, pattern, expected, got);
  return 0;
}
