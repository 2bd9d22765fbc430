// The run's static data: the two test strings and, directly behind them, the
// cells the run writes between measurements.
#ifndef STRCYCLES_DRIVER_TEST_DATA_H_
#define STRCYCLES_DRIVER_TEST_DATA_H_

#include <cstdint>

#include "driver/figure.h"

constexpr std::uint32_t kContestantCount = 3;

// The needle starts at the byte after the haystack's terminator, and more than
// 8 bytes of the block follow the needle's: the word-reading routines may read
// a few bytes past a terminator and rely on that slack.
struct TestData {
  char haystack[28];
  char needle[14];
  std::uint32_t sums[kContestantCount];
  MeasurementCells cells;
};

extern TestData test_data;

#endif  // STRCYCLES_DRIVER_TEST_DATA_H_
