// finstr against a plain scan, for every start from 0 to the source's length.
// Both texts end their blocks at their terminators: finstr may read nothing
// beyond either.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "search/finstr.h"
#include "tests/support/edge_text.h"

// Input: start selector (2 bytes), offsets (1), pattern source (1), then the
// pattern and the source, each ending at a NUL or the input's end.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in{data, size};
  const std::uint32_t start_selector = in.Word16();
  const std::uint32_t offsets = in.Byte();
  const std::uint32_t pattern_from = in.Byte();
  std::string pattern = in.Text();
  const std::string source = in.Text();
  // Patterns cut from the source reach the matching paths far more often.
  if (pattern_from & 0x80) {
    const std::size_t at = (pattern_from & 0x7F) % (source.size() + 1);
    pattern = source.substr(at, pattern.size());
  }
  const std::uint32_t start = start_selector % static_cast<std::uint32_t>(source.size() + 1);

  const ExactText s(source, offsets & 7, 0);
  const ExactText p(pattern, (offsets >> 3) & 7, 0);
  const long match = fuzz::LeftmostMatch(source, pattern, start);
  const long expected = match < 0 ? 0 : match;
  const long got = finstr(start, s.text, p.text);
  if (got != expected) fuzz::Fail("finstr", source, pattern, expected, got);
  return 0;
}
