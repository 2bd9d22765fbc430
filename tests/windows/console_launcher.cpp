// Test helper, never part of the program: runs the program given as the one
// argument in this console and ends with its exit code. Wine's console reads
// the terminal only after some program in it has made a console read, and
// until then _kbhit never sees a key; one read of zero records starts it
// without changing the program.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 125;
  INPUT_RECORD record;
  DWORD count = 0;
  ReadConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), &record, 0, &count);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(argv[1], nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 126;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 127;
  GetExitCodeProcess(process.hProcess, &exit_code);
  return static_cast<int>(exit_code);
}
