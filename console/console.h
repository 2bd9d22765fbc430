// The program's output and its one key wait.
#ifndef STRCYCLES_CONSOLE_CONSOLE_H_
#define STRCYCLES_CONSOLE_CONSOLE_H_

#include <cstdint>

// One unbuffered write of the text without its NUL; returns the count the
// system reports. The text must meet TextLength's readability rule.
std::uint32_t WriteText(const char* text);

// Throws away pending input, then waits for one key press and takes it without echo.
int WaitForKey();

#endif  // STRCYCLES_CONSOLE_CONSOLE_H_
