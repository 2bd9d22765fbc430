#include "console/console.h"

#include "console/text.h"
#include "platform/platform.h"

std::uint32_t WriteText(const char* text) {
  return platform::WriteStandardOutput(text, TextLength(text));
}

int WaitForKey() {
  platform::DiscardPendingInput();
  do {
    platform::PauseOneMillisecond();
  } while (!platform::KeyIsWaiting());
  return platform::TakeKey();
}
