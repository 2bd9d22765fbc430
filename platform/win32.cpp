#include <conio.h>
#include <windows.h>

#include "platform/platform.h"

namespace platform {
namespace {

// Plain data, zero before the program starts: no constructor runs.
DWORD start_priority_class;
bool input_is_console;

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
  // _kbhit and _getch see only the console, so with standard input redirected (a file, a pipe,
  // NUL, none) its next byte, its end or a failed read is the key, as on POSIX.
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  input_is_console = GetConsoleMode(input, &mode) != 0;
  if (input_is_console) FlushConsoleInputBuffer(input);
}

void PauseOneMillisecond() {
  Sleep(1);
}

bool KeyIsWaiting() {
  return !input_is_console || _kbhit() != 0;
}

int TakeKey() {
  if (input_is_console) return _getch();
  // One byte only: the rest of a pipe's bytes belong to whoever reads next.
  unsigned char key = 0;
  DWORD got = 0;
  const BOOL read = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &key, 1, &got, nullptr);
  return read && got == 1 ? key : -1;
}

void EndProcess(std::uint32_t exit_code) {
  ExitProcess(exit_code);
}

}  // namespace platform
