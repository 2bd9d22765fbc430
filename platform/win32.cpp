#include <conio.h>
#include <windows.h>

#include "platform/platform.h"

namespace platform {
namespace {

// Plain data, zero before the program starts: no constructor runs.
DWORD start_priority_class;

}  // namespace

void RaiseProcessPriority() {
  if (start_priority_class == 0) {
    start_priority_class = GetPriorityClass(GetCurrentProcess());
    if (start_priority_class == 0) start_priority_class = NORMAL_PRIORITY_CLASS;
  }
  SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
}

void RestoreProcessPriority() {
  SetPriorityClass(GetCurrentProcess(), start_priority_class);
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
