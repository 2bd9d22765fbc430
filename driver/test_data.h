// The test strings and, right behind them, the cells the run writes.
#ifndef STRCYCLES_DRIVER_TEST_DATA_H_
#define STRCYCLES_DRIVER_TEST_DATA_H_

#include <cstdint>

#include "driver/figure.h"
#include "driver/report.h"

// The needle starts right after the haystack's terminator, and more than 8
// bytes follow the needle's: the word-reading routines rely on that slack.
struct TestData {
  char haystack[28];
  char needle[14];
  std::uint32_t sums[kContestantCount];
  MeasurementCells cells;
};

extern TestData test_data;

#endif  // STRCYCLES_DRIVER_TEST_DATA_H_
