#include "driver/report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/console.h"
#include "tests/support/report_form.h"
#include "tests/unit/recording_platform.h"

namespace {

using recording::Event;

// Figures handed out in order by the fake rows, one per measurement.
std::vector<std::int32_t> figures;
std::size_t next_figure;
std::int32_t NextFigure() {
  return figures.at(next_figure++);
}

STRCYCLES_WORD_PADDED_TEXT(kTimingA, " timing a\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageA, " average a\r\n");
STRCYCLES_WORD_PADDED_TEXT(kTimingB, " timing b\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageB, " average b\r\n");
STRCYCLES_WORD_PADDED_TEXT(kTimingC, " timing c\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageC, " average c\r\n");

const Contestant kRows[] = {
    {NextFigure, kTimingA, kAverageA},
    {NextFigure, kTimingB, kAverageB},
    {NextFigure, kTimingC, kAverageC},
};

class Report : public ::testing::Test {
 protected:
  void Run(std::vector<std::int32_t> chosen) {
    figures = std::move(chosen);
    next_figure = 0;
    recording::Reset();
    RunReport(kRows, sums, 3);
  }
  std::uint32_t sums[3] = {};
};

TEST_F(Report, WritesEachPieceAsItsOwnWriteInOrder) {
  std::vector<std::int32_t> chosen;
  for (int trial = 0; trial < 8; ++trial) {
    chosen.insert(chosen.end(), {10 + trial, -1, 0});
  }
  Run(chosen);

  std::vector<std::string> expected;
  for (int trial = 0; trial < 8; ++trial) {
    expected.insert(expected.end(), {std::to_string(10 + trial), " timing a\r\n", "-1",
                                     " timing b\r\n", "0", " timing c\r\n"});
  }
  // a: (10+...+17)/8 = 13 remainder 4; b: -8 as unsigned >> 3; c: 0.
  expected.insert(expected.end(),
                  {STRCYCLES_REPORT_SEPARATOR, STRCYCLES_REPORT_LINE_END, "13", " average a\r\n",
                   "536870911", " average b\r\n", "0", " average c\r\n", STRCYCLES_REPORT_SEPARATOR,
                   STRCYCLES_REPORT_LINE_END, STRCYCLES_REPORT_PROMPT, STRCYCLES_REPORT_LINE_END});
  EXPECT_EQ(recording::Writes(), expected);
  EXPECT_EQ(next_figure, 24u) << "one measurement per trial and row";
}

TEST_F(Report, WaitsForTheKeyAfterThePromptAndBeforeTheLastLineEnd) {
  recording::polls_before_key = 2;
  figures.assign(24, 5);
  next_figure = 0;
  recording::events.clear();
  RunReport(kRows, sums, 3);

  const std::vector<Event>& events = recording::events;
  const Event::Kind tail[] = {Event::kWrite,   Event::kDiscardInput, Event::kPause, Event::kKeyPoll,
                              Event::kPause,   Event::kKeyPoll,      Event::kPause, Event::kKeyPoll,
                              Event::kTakeKey, Event::kWrite};
  constexpr std::size_t kTail = sizeof tail / sizeof tail[0];
  ASSERT_GE(events.size(), kTail);
  const std::size_t first = events.size() - kTail;
  for (std::size_t i = 0; i < kTail; ++i) {
    EXPECT_EQ(events[first + i].kind, tail[i]) << "event " << i << " from the prompt";
  }
  EXPECT_EQ(events[first].bytes, STRCYCLES_REPORT_PROMPT);
  EXPECT_EQ(events.back().bytes, STRCYCLES_REPORT_LINE_END) << "the key ends the prompt's line";
}

TEST_F(Report, AddsEachFigureToItsRowWithWrapAround) {
  std::vector<std::int32_t> chosen;
  for (int trial = 0; trial < 8; ++trial) {
    chosen.insert(chosen.end(), {INT32_MAX, trial == 0 ? -9 : 0, trial == 7 ? 7 : 0});
  }
  Run(chosen);
  // 8 * (2^31 - 1) wraps to 2^32 - 8 as unsigned: shifted, 2^29 - 1.
  EXPECT_EQ(sums[0], (1u << 29) - 1);
  EXPECT_EQ(sums[1], static_cast<std::uint32_t>(-9) >> 3);
  EXPECT_EQ(sums[2], 0u) << "a sum below 8 averages to 0";
}

TEST(WriteText, WritesAnEmptyTextAsOneEmptyWrite) {
  recording::Reset();
  alignas(4) static const char kEmpty[4] = "";
  WriteText(kEmpty);
  ASSERT_EQ(recording::events.size(), 1u);
  EXPECT_EQ(recording::events[0].bytes, "");
}

}  // namespace
