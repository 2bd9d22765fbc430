#include "console/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/edge_text.h"

namespace {

// A heap copy that ends exactly at the end of the 4-byte word holding the
// terminator, so AddressSanitizer flags any read beyond what is allowed.
ExactText WordEndedCopy(const std::string& text) {
  return ExactText(text, 0, 3 - text.size() % 4);
}

TEST(TextLength, FindsTheTerminatorInEveryLaneAndInLaterWords) {
  for (std::size_t length = 0; length <= 9; ++length) {
    EXPECT_EQ(TextLength(WordEndedCopy(std::string(length, 'a')).text), length)
        << "length " << length;
  }
}

TEST(TextLength, CountsHighBytesAsOrdinary) {
  // 0x80..0xFF set a lane's high bit in w but not in ~w: no false terminator.
  EXPECT_EQ(TextLength(WordEndedCopy("\x80\x81\xff").text), 3u);
  EXPECT_EQ(TextLength(WordEndedCopy("\x01\x80\x01\x80\xff\x01").text), 6u);
}

TEST(TextLength, IgnoresBorrowNoiseAboveTheFirstZero) {
  // A zero followed by 0x01 makes the subtraction borrow into the next lane;
  // only the lowest flagged lane may be trusted, and it is the right one.
  const char bytes[8] = {'a', '\0', '\x01', '\0', 'b', 'c', 'd', '\0'};
  EXPECT_EQ(TextLength(bytes), 1u);
  EXPECT_EQ(TextLength(bytes + 2), 1u);
}

TEST(TextLength, WordsCountFromTheTextsOwnFirstByte) {
  // Room for the word that holds the terminator at every offset.
  alignas(4) const char bytes[16] = "xyzabcdefg";
  for (std::uint32_t offset = 0; offset < 4; ++offset) {
    EXPECT_EQ(TextLength(bytes + offset), 10u - offset) << "offset " << offset;
  }
}

struct FormatCase {
  std::int32_t value;
  const char* text;
};

TEST(FormatSigned, WritesSignedDecimalText) {
  const FormatCase cases[] = {
      {0, "0"},  // the one special case
      {1, "1"},
      {-1, "-1"},            // single digit, both signs
      {10, "10"},            // trailing zero digit survives
      {1000000, "1000000"},  // runs of zeros
      {std::numeric_limits<std::int32_t>::max(), "2147483647"},
      {std::numeric_limits<std::int32_t>::min(), "-2147483648"},  // magnitude overflows int32
  };
  for (const FormatCase& c : cases) {
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    FormatSigned(c.value, buffer);
    EXPECT_STREQ(buffer, c.text) << c.value;
  }
}

TEST(FormatSigned, LongestTextFitsTwelveBytes) {
  // An exactly sized heap buffer: AddressSanitizer catches a 13th byte.
  std::vector<char> buffer(12, '#');
  FormatSigned(std::numeric_limits<std::int32_t>::min(), buffer.data());
  EXPECT_EQ(std::strlen(buffer.data()), 11u);
}

}  // namespace
