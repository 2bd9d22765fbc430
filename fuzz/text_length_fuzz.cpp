// TextLength against a byte count. The block ends at the end of the 4-byte
// word that holds the terminator, counted from the text's first byte, and the
// bytes between the terminator and that end come from the input (non-zero
// ones included), so any read further, or any lane picked wrongly, shows.
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/text.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/edge_text.h"

// Input: offset (1), the text up to a NUL or the end, then the bytes that
// follow its terminator.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in{data, size};
  const std::uint32_t offset = in.Byte() & 7;
  const std::string text = in.Text();
  const std::string after(reinterpret_cast<const char*>(in.data), in.size);

  const std::size_t slack = 3 - text.size() % 4;
  const ExactText t(text, offset, slack, after.empty() ? std::string(1, '\xff') : after);
  const std::uint32_t got = TextLength(t.text);
  if (got != text.size()) {
    fuzz::Fail("TextLength", text, std::string(), static_cast<long>(text.size()),
               static_cast<long>(got));
  }
  return 0;
}
