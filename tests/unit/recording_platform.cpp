#include "tests/unit/recording_platform.h"

#include <cstdlib>

#include "platform/platform.h"

namespace recording {

std::vector<Event> events;
int polls_before_key;

void Reset() {
  events.clear();
  polls_before_key = 0;
}

std::vector<std::string> Writes() {
  std::vector<std::string> writes;
  for (const Event& e : events) {
    if (e.kind == Event::kWrite) writes.push_back(e.bytes);
  }
  return writes;
}

}  // namespace recording

namespace platform {

void RaiseProcessPriority() {}
void RestoreProcessPriority() {}

std::uint32_t WriteStandardOutput(const char* bytes, std::uint32_t count) {
  recording::events.push_back({recording::Event::kWrite, std::string(bytes, count)});
  return count;
}

void DiscardPendingInput() {
  recording::events.push_back({recording::Event::kDiscardInput, {}});
}
void PauseOneMillisecond() {
  recording::events.push_back({recording::Event::kPause, {}});
}

bool KeyIsWaiting() {
  recording::events.push_back({recording::Event::kKeyPoll, {}});
  return recording::polls_before_key-- <= 0;
}

int TakeKey() {
  recording::events.push_back({recording::Event::kTakeKey, {}});
  return 'k';
}

void EndProcess(std::uint32_t code) {
  std::exit(static_cast<int>(code));
}

}  // namespace platform
