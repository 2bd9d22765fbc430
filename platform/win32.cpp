#include <conio.h>
#include <windows.h>

#include "platform/platform.h"

static_assert(static_cast<DWORD>(platform::PriorityClass::kHigh) == HIGH_PRIORITY_CLASS &&
                  static_cast<DWORD>(platform::PriorityClass::kNormal) == NORMAL_PRIORITY_CLASS,
              "the priority classes pass straight through");

namespace platform {

void SetProcessPriority(PriorityClass priority) {
  SetPriorityClass(GetCurrentProcess(), static_cast<DWORD>(priority));
}

std::uint32_t WriteStandardOutput(const char* bytes, std::uint32_t count) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, count, &written, nullptr);
  return written;
}

void DiscardPendingInput() {
  FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
}

void PauseOneMillisecond() {
  Sleep(1);
}

bool KeyIsWaiting() {
  return _kbhit() != 0;
}

int TakeKey() {
  return _getch();
}

void EndProcess(std::uint32_t exit_code) {
  ExitProcess(exit_code);
}

}  // namespace platform
