// The few operating-system operations the benchmark needs. Each has one
// implementation with the real Win32 calls and one for POSIX; nothing else in
// the program talks to the operating system.
#ifndef STRCYCLES_PLATFORM_PLATFORM_H_
#define STRCYCLES_PLATFORM_PLATFORM_H_

#include <cstdint>

namespace platform {

// Raised around each measurement's counter reads, then put back to what the
// process had when the first raise came: the user may have started it below
// or above normal (nice, start /low) and keeps that for the printing and the
// key wait. Failure is ignored: the measurement goes on at whatever priority
// the process has.
void RaiseProcessPriority();
void RestoreProcessPriority();

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
