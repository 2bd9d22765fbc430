#include "search/wordsweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <random>
#include <string>

#include "driver/test_data.h"
#include "tests/support/edge_text.h"

namespace {

std::size_t SourceSlack(std::size_t pattern_length) {
  return std::max<std::size_t>(7, pattern_length < 2 ? 0 : pattern_length - 2);
}

const char* Reference(const char* source, const char* pattern) {
  const std::size_t n = std::strlen(pattern);
  for (const char* s = source;; ++s) {
    if (std::strncmp(s, pattern, n) == 0) return s;
    if (!*s) return nullptr;
  }
}

struct Case {
  const char* why;
  std::string source;
  std::string pattern;
  std::ptrdiff_t expected;  // offset of the match, -1 for none
};

const Case kCases[] = {
    {"the benchmark's strings", "beware of the ides of march", "ides of march", 14},
    {"one-byte pattern at the last byte", "abcdefgh", "h", 7},
    {"failed candidates before the match", "abababc", "abc", 4},
    {"0x81 flags a word without a candidate",
     "ab\x81"
     "cd",
     "cd", 3},
    {"candidates among high bytes", "\xE9\xE9x\xE9y", "\xE9y", 3},
    {"pattern longer than the source", "ab", "abc", -1},
    {"empty source", "", "abc", -1},
    {"candidate check reaches 11 bytes past the terminator", "xi", "ides of march", -1},
    {"absent pattern", "beware of the ides of march", "ides of april", -1},
    {"match at the start", "ides of march", "ides of march", 0},
    {"match ends at the terminator", "xxxxxxxxxab", "ab", 9},
    {"one-byte pattern absent", "abcdefgh", "z", -1},
    {"pattern of 0xFF bytes", "a\xFF\xFE\xFF\xFF\xFFz", "\xFF\xFF", 3},
    {"pattern byte 0x01 right behind the terminator", "ab", "\x01", -1},
    {"first byte found only past the terminator", "abc", "d", -1},
    {"lengths 2 to 5 across word ends", "aaaabaaaabbaabbbababbbb", "abbbb", 18},
    {"prefix of the pattern at the end", "zzzzzzzzide", "ides", -1},
};

TEST(Wordsweep, FixedCasesAtEveryOffset) {
  for (const Case& test : kCases) {
    for (std::size_t offset = 0; offset < 4; ++offset) {
      SCOPED_TRACE(std::string(test.why) + ", offset " + std::to_string(offset));
      // Behind the source, the pattern's tail again: a check that ran past
      // the terminator without failing there would find it.
      const std::string tail(1, test.pattern.empty() ? 'x' : test.pattern[1 % test.pattern.size()]);
      const ExactText source(test.source, offset, SourceSlack(test.pattern.size()), tail);
      const ExactText pattern(test.pattern, 3 - offset, 7, std::string(1, test.pattern[0]));
      const char* expected = test.expected < 0 ? nullptr : source.text + test.expected;
      EXPECT_EQ(Wordsweep(source.text, pattern.text), expected);
    }
  }
}

TEST(Wordsweep, EmptyPatternReturnsTheSourceReadingNoFurther) {
  const ExactText pattern(""), source("abc", 1);
  EXPECT_EQ(Wordsweep(source.text, pattern.text), source.text);
  EXPECT_EQ(Wordsweep(pattern.text, pattern.text), pattern.text);
}

TEST(Wordsweep, BenchmarkCallAndItsSlack) {
  EXPECT_EQ(Wordsweep(test_data.haystack, test_data.needle), test_data.haystack + 14);

  const std::size_t haystack_end =
      offsetof(TestData, haystack) + std::strlen(test_data.haystack) + 1;
  const std::size_t needle_end = offsetof(TestData, needle) + std::strlen(test_data.needle) + 1;
  EXPECT_EQ(offsetof(TestData, needle), haystack_end);
  EXPECT_LE(haystack_end + SourceSlack(std::strlen(test_data.needle)), sizeof(TestData));
  EXPECT_LE(needle_end + 7, sizeof(TestData));
}

// A candidate that differs from the pattern in one byte only must fail,
// wherever that byte is: the check compares several bytes at a time and must
// leave none out, at any length.
TEST(Wordsweep, OneDifferingByteFailsTheCandidate) {
  for (std::size_t n = 2; n <= 48; ++n) {
    std::string pattern;
    for (std::size_t i = 0; i < n; ++i) pattern += static_cast<char>('0' + i);
    for (std::size_t i = 1; i < n; ++i) {
      std::string near = pattern;
      near[i] = static_cast<char>(i % 2 ? '\x81' : 'z');
      SCOPED_TRACE("length " + std::to_string(n) + ", differing byte " + std::to_string(i));
      const ExactText source(near + pattern, i % 4, SourceSlack(n));
      const ExactText placed(pattern, 0, 7);
      EXPECT_EQ(Wordsweep(source.text, placed.text), source.text + n);
    }
  }
}

// The table and random rounds with exactly the permitted slack readable
// behind each terminator and nothing after it: a read beyond faults, in every
// build, the uninstrumented ones too. The slack holds the pattern's own bytes,
// so a check that went on past the source's end would find them.
TEST(Wordsweep, ReadsNothingPastItsSlack) {
  GuardedText source_room(4096), pattern_room(4096);
  auto search = [&](const std::string& text, const std::string& needle) {
    const char* source = source_room.Place(text, SourceSlack(needle.size()), needle[0]);
    const char* pattern = pattern_room.Place(needle, 7, needle[0]);
    const char* found = Wordsweep(source, pattern);
    return found == nullptr ? std::ptrdiff_t{-1} : found - source;
  };
  for (const Case& test : kCases) {
    if (test.pattern.empty()) continue;
    EXPECT_EQ(search(test.source, test.pattern), test.expected) << test.why;
  }
  std::mt19937 random(20261209);
  const std::string alphabet = "ab\x81";
  for (int round = 0; round < 5000; ++round) {
    std::string text(random() % 40, 'a'), needle(1 + random() % 20, 'a');
    for (char& ch : text) ch = alphabet[random() % alphabet.size()];
    for (char& ch : needle) ch = alphabet[random() % alphabet.size()];
    const char* expected = Reference(text.c_str(), needle.c_str());
    ASSERT_EQ(search(text, needle), expected == nullptr ? -1 : expected - text.c_str())
        << "round " << round;
  }
}

// Differential test against the plain search, with high bytes and small
// alphabets to make many candidates and flagged words, random slack holding
// zeros and the pattern's first byte, and every start offset within a word.
TEST(Wordsweep, AgreesWithPlainSearch) {
  std::mt19937 random(20240611);
  const std::string alphabets[] = {"ab", "abc", "a\x81", "\xE9x\x80", "\xFF\x01", "ab\x7F\x80\xFE"};
  auto pick = [&](std::size_t bound) { return static_cast<std::size_t>(random() % bound); };
  int matches = 0;
  for (int round = 0; round < 40000; ++round) {
    const std::string& alphabet = alphabets[pick(std::size(alphabets))];
    std::string text(pick(72), '\0');
    for (char& ch : text) ch = alphabet[pick(alphabet.size())];
    std::string needle;
    if (!text.empty() && pick(2)) {
      const std::size_t at = pick(text.size());
      needle = text.substr(at, 1 + pick(std::min<std::size_t>(text.size() - at, 40)));
      if (pick(3) == 0) needle.back() = alphabet[pick(alphabet.size())];
    } else {
      needle.resize(1 + pick(24));
      for (char& ch : needle) ch = alphabet[pick(alphabet.size())];
    }

    ExactText source(text, pick(4), SourceSlack(needle.size()));
    ExactText pattern(needle, pick(4), 7);
    const char noise[] = {'\0', needle[0], alphabet[0], static_cast<char>(random())};
    for (ExactText* placed : {&source, &pattern})
      for (char* p = std::strchr(placed->text, '\0') + 1; p < placed->end; ++p)
        *p = noise[pick(std::size(noise))];

    const char* expected = Reference(source.text, pattern.text);
    matches += expected != nullptr;
    ASSERT_EQ(Wordsweep(source.text, pattern.text), expected)
        << "round " << round << ", source length " << text.size() << ", pattern length "
        << needle.size();
  }
  EXPECT_GT(matches, 10000);
}

}  // namespace
