// The contestant table: the program's own measurement of each routine, in
// the report's order. The speed suite runs the same measurements.
#ifndef STRCYCLES_DRIVER_CONTESTANTS_H_
#define STRCYCLES_DRIVER_CONTESTANTS_H_

#include "driver/report.h"
#include "driver/test_data.h"

extern const Contestant kContestants[kContestantCount];

#endif  // STRCYCLES_DRIVER_CONTESTANTS_H_
