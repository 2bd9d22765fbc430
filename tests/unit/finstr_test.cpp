#include "search/finstr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "tests/support/edge_text.h"

namespace {

// The contract, written plainly: the leftmost match at or after start,
// counted from the source's first byte; 0 when there is none.
std::uint32_t Reference(std::uint32_t start, const std::string& source,
                        const std::string& pattern) {
  if (pattern.empty()) return start;
  for (std::size_t at = start; at + pattern.size() <= source.size(); ++at) {
    if (source.compare(at, pattern.size(), pattern) == 0) return static_cast<std::uint32_t>(at);
  }
  return 0;
}

const char kHaystack[] = "beware of the ides of march";

struct Case {
  const char* why;
  const char* source;
  const char* pattern;
  std::uint32_t start;
  std::uint32_t expected;
};

const Case kCases[] = {
    {"the benchmark's own call", kHaystack, "ides of march", 0, 14},
    {"one-byte pattern, first occurrence", kHaystack, "e", 0, 1},
    {"one-byte pattern, scan begins after an occurrence", kHaystack, "e", 2, 5},
    {"one-byte pattern, start past every earlier occurrence", kHaystack, "e", 14, 16},
    {"start at the terminator finds nothing", kHaystack, "e", 27, 0},
    {"start past the match finds nothing", kHaystack, "ides of march", 15, 0},
    {"a failed candidate must not skip ahead", "abababc", "abc", 0, 4},
    {"match at the first byte gives 0, like no match", kHaystack, "beware", 0, 0},
    {"offset counts from the source's first byte, not from start", kHaystack, "ides", 10, 14},
    {"pattern longer than what is left of the source", kHaystack, "march!", 0, 0},
    {"source ends inside a candidate", "xxab", "abc", 0, 0},
    {"0xE9 differs from 'i' only in bit 7: no match", "\xe9-i", "i", 0, 2},
    {"empty pattern occurs where the scan begins", kHaystack, "", 9, 9},
    {"match past the first 16-byte scan pass", "0123456789abcdefghijXY", "XY", 0, 20},
    {"match longer than one 8-byte check pass", "..abcdefghijklmnopq.", "abcdefghijklmnopq", 0, 2},
};

TEST(Finstr, TableOfCases) {
  for (const Case& c : kCases) {
    EXPECT_EQ(finstr(c.start, ExactText(c.source).text, ExactText(c.pattern).text), c.expected)
        << c.why;
  }
}

// The table again, and candidates cut short by the source's end at every
// pattern length, with each terminator the last readable byte: a read past
// either one faults, in every build, the uninstrumented ones too.
TEST(Finstr, ReadsNothingPastEitherTerminator) {
  GuardedText source(4096), pattern(4096);
  for (const Case& c : kCases) {
    EXPECT_EQ(finstr(c.start, source.Place(c.source, 0), pattern.Place(c.pattern, 0)), c.expected)
        << c.why;
  }
  const std::string letters = "abcdefghijklmnopqrstu";
  for (std::size_t n = 1; n <= letters.size(); ++n) {
    const std::string needle = letters.substr(0, n);
    for (std::size_t cut = 0; cut < n; ++cut) {
      const std::string text = "zz" + needle.substr(0, cut);
      EXPECT_EQ(finstr(0, source.Place(text, 0), pattern.Place(needle, 0)), 0u)
          << "pattern length " << n << ", source ends after " << cut << " of it";
    }
    EXPECT_EQ(finstr(0, source.Place("zz" + needle, 0), pattern.Place(needle, 0)), 2u)
        << "pattern length " << n << " at the source's end";
  }
}

// Random texts over two to four high bytes make partial matches common; every
// start is tried, and patterns cross the 8-byte check passes and sources the
// 16-byte scan passes.
TEST(Finstr, AgreesWithThePlainSearchOnRandomHighByteTexts) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<int> high_byte(0x80, 0xFF);
  int checked = 0, matched = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string alphabet;
    const int letters = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < letters; ++i) alphabet += static_cast<char>(high_byte(random));
    auto draw = [&](std::size_t length) {
      std::string text;
      for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
      return text;
    };
    const std::string source = draw(random() % 48);
    std::string pattern = draw(1 + random() % 20);
    // Every other pattern is cut from the source, so long matches occur too.
    if (round % 2 == 0 && !source.empty()) {
      const std::size_t from = random() % source.size();
      pattern = source.substr(from, 1 + random() % (source.size() - from));
    }
    const ExactText s(source), p(pattern);
    for (std::uint32_t start = 0; start <= source.size(); ++start) {
      const std::uint32_t expected = Reference(start, source, pattern);
      ASSERT_EQ(finstr(start, s.text, p.text), expected)
          << "round " << round << " start " << start << " source length " << source.size()
          << " pattern length " << pattern.size();
      ++checked;
      matched += expected != 0;
    }
  }
  // The draw must actually produce matches, or agreeing on 0 proves little.
  EXPECT_GT(matched, checked / 4);
}

}  // namespace
