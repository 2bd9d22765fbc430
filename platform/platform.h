// The few operating-system operations the program needs, once with Win32 calls and once for
// POSIX: nothing else in the program talks to the operating system.
#ifndef STRCYCLES_PLATFORM_PLATFORM_H_
#define STRCYCLES_PLATFORM_PLATFORM_H_

#include <cstdint>

namespace platform {

// Raised around each measurement's counter reads, then put back to the level the process had at
// the first raise (nice, start /low), which the printing and the key wait keep. A failure is
// ignored: the measurement goes on at whatever priority the process has.
void RaiseProcessPriority();
void RestoreProcessPriority();

// One write of exactly `count` bytes to standard output; returns the count written (0 on failure).
std::uint32_t WriteStandardOutput(const char* bytes, std::uint32_t count);

// WaitForKey's steps: throw away pending input, poll after each 1 ms pause, take the key unechoed.
void DiscardPendingInput();
void PauseOneMillisecond();
bool KeyIsWaiting();
int TakeKey();

[[noreturn]] void EndProcess(std::uint32_t exit_code);

}  // namespace platform

#endif  // STRCYCLES_PLATFORM_PLATFORM_H_
