#include "driver/figure.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>

namespace {

constexpr std::uint32_t kLoops = 1000000;

// Cells whose empty loop took `overhead` cycles and timed loop `timed`,
// with the counter starting at `base`.
MeasurementCells Cells(std::uint64_t base, std::uint64_t overhead, std::uint64_t timed) {
  MeasurementCells cells{};
  cells.t0 = base;
  cells.t1 = base + overhead;
  cells.t2 = cells.t1 + 100;
  cells.t3 = cells.t2 + timed;
  cells.loop_count = kLoops;
  return cells;
}

struct FigureCase {
  const char* why;
  std::uint64_t overhead;
  std::uint64_t timed;
  std::int32_t figure;
};

TEST(CallCycleFigure, SubtractsOverheadAndRoundsHalfToEven) {
  const FigureCase cases[] = {
      {"whole cycles per call", 2000000, 2000000 + 37 * kLoops, 37},
      {"2.5 rounds down to even", 0, 5 * kLoops / 2, 2},
      {"3.5 rounds up to even", 0, 7 * kLoops / 2, 4},
      {"just below 1.5 rounds down", 0, 3 * kLoops / 2 - 1, 1},
      {"timed loop faster than the empty one", 3 * kLoops, kLoops, -2},
      {"-2.5 rounds to even too", 5 * kLoops / 2, 0, -2},
  };
  for (const FigureCase& c : cases) {
    MeasurementCells cells = Cells(1000, c.overhead, c.timed);
    EXPECT_EQ(CallCycleFigure(cells), c.figure) << c.why;
    EXPECT_EQ(cells.result, c.figure) << c.why << ": the result cell holds the quotient";
  }
}

TEST(CallCycleFigure, IgnoresTheRoundingModeLeftBehind) {
  // Quotients that each directed mode rounds away from the nearest: 2.25 up
  // to 3, 2.75 down to 2, -2.75 toward zero to -2, and a tie up to 3.
  const FigureCase cases[] = {
      {"2.25", 0, 9 * kLoops / 4, 2},
      {"2.75", 0, 11 * kLoops / 4, 3},
      {"-2.75", 11 * kLoops / 4, 0, -3},
      {"2.5", 0, 5 * kLoops / 2, 2},
  };
  for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    for (const FigureCase& c : cases) {
      std::fesetround(mode);
      MeasurementCells cells = Cells(0, c.overhead, c.timed);
      EXPECT_EQ(CallCycleFigure(cells), c.figure) << c.why << " in mode " << mode;
    }
  }
  std::fesetround(FE_TONEAREST);
}

TEST(CallCycleFigure, SurvivesCounterWrapAround) {
  // The counter wraps between t0 and t3; 64-bit modular differences still hold.
  MeasurementCells cells = Cells(~std::uint64_t{0} - 50, 1000, 1000 + 9 * kLoops);
  EXPECT_EQ(CallCycleFigure(cells), 9);
}

TEST(CallCycleFigure, KeepsTheLow32BitsOfAHugeQuotient) {
  // 2^32 + 5 cycles per call: the figure is the low half, 5.
  MeasurementCells cells = Cells(0, 0, ((std::uint64_t{1} << 32) + 5) * kLoops);
  EXPECT_EQ(CallCycleFigure(cells), 5);
  EXPECT_EQ(cells.result, (std::int64_t{1} << 32) + 5);
  // 2^31 cycles per call wraps to the most negative figure.
  cells = Cells(0, 0, (std::uint64_t{1} << 31) * kLoops);
  EXPECT_EQ(CallCycleFigure(cells), INT32_MIN);
}

TEST(CallCycleFigure, DividesByTheMeasurementsOwnLoopCount) {
  MeasurementCells cells = Cells(0, 0, 3000);
  cells.loop_count = 1000;
  EXPECT_EQ(CallCycleFigure(cells), 3);
}

TEST(AverageOfSum, ShiftsTheSumAsUnsigned) {
  EXPECT_EQ(AverageOfSum(0), 0u);
  EXPECT_EQ(AverageOfSum(7), 0u);  // below one per trial
  EXPECT_EQ(AverageOfSum(8 * 37 + 7), 37u);
  // A sum gone negative is no negative average: -8 becomes 2^29 - 1.
  EXPECT_EQ(AverageOfSum(static_cast<std::uint32_t>(-8)), (1u << 29) - 1);
  EXPECT_EQ(AverageOfSum(static_cast<std::uint32_t>(-1)), (1u << 29) - 1);
  EXPECT_EQ(AverageOfSum(static_cast<std::uint32_t>(INT32_MIN)), 1u << 28);
}

}  // namespace
