// A platform layer for tests: records every write instead of making it and
// answers the key wait at once.
#ifndef STRCYCLES_TESTS_UNIT_RECORDING_PLATFORM_H_
#define STRCYCLES_TESTS_UNIT_RECORDING_PLATFORM_H_

#include <string>
#include <vector>

namespace recording {

struct Event {
  enum Kind { kWrite, kDiscardInput, kPause, kKeyPoll, kTakeKey } kind;
  std::string bytes;  // for kWrite
};

// Everything the code under test asked the platform for, in order.
extern std::vector<Event> events;
// KeyIsWaiting answers false this many times before it answers true.
extern int polls_before_key;

void Reset();
std::vector<std::string> Writes();

}  // namespace recording

#endif  // STRCYCLES_TESTS_UNIT_RECORDING_PLATFORM_H_
