// The few operating-system operations the benchmark needs. Each has one
// implementation with the real Win32 calls and one for POSIX; nothing else in
// the program talks to the operating system.
#ifndef STRCYCLES_PLATFORM_PLATFORM_H_
#define STRCYCLES_PLATFORM_PLATFORM_H_

#include <cstdint>

namespace platform {

// Values as Win32 defines them, so that layer passes them straight through.
enum class PriorityClass : std::uint32_t { kNormal = 0x20, kHigh = 0x80 };

// SetPriorityClass(GetCurrentProcess(), ...). Failure is ignored: the
// measurement goes on at whatever priority the process has.
void SetProcessPriority(PriorityClass priority);

// One write of exactly `count` bytes to standard output; returns what the
// system reports as written (0 on failure).
std::uint32_t WriteStandardOutput(const char* bytes, std::uint32_t count);

// The key wait, in the order WaitForKey uses them: throw away pending input,
// then poll after each 1 ms pause, then take the key without echo.
void DiscardPendingInput();
void PauseOneMillisecond();
bool KeyIsWaiting();
int TakeKey();

[[noreturn]] void EndProcess(std::uint32_t exit_code);

}  // namespace platform

#endif  // STRCYCLES_PLATFORM_PLATFORM_H_
