#ifndef STRCYCLES_CONSOLE_CONSOLE_H_
#define STRCYCLES_CONSOLE_CONSOLE_H_

#include <cstdint>

// One unbuffered write of the text (TextLength's readability rule); returns the system's count.
std::uint32_t WriteText(const char* text);

// Throws away pending input, then waits for one key press and takes it without echo.
int WaitForKey();

#endif  // STRCYCLES_CONSOLE_CONSOLE_H_
