// The contestant table, in the report's order, and the process entry.
#ifndef STRCYCLES_DRIVER_CONTESTANTS_H_
#define STRCYCLES_DRIVER_CONTESTANTS_H_

#include "driver/report.h"
#include "driver/test_data.h"

extern const Contestant kContestants[kContestantCount];

// The process entry; 32-bit Windows enters it with the stack aligned to 4 only.
#if defined(_WIN32) && defined(__i386__)
#define STRCYCLES_ENTRY __attribute__((force_align_arg_pointer))
#else
#define STRCYCLES_ENTRY
#endif
extern "C" [[noreturn]] STRCYCLES_ENTRY void RunBenchmark();

#endif  // STRCYCLES_DRIVER_CONTESTANTS_H_
