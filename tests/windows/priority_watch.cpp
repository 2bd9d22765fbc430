// Test helper, never part of the program: starts the program given as the one
// argument below normal priority, as "start /belownormal" would, with its
// standard input and output on pipes, and prints the priority classes it
// runs at, read from its process: at the start, each one seen until its
// prompt (the measurements are most of that time), and at the key wait. Then
// it sends the key and prints the exit code.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "tests/support/report_form.h"

namespace {

constexpr char kPrompt[] = STRCYCLES_REPORT_PROMPT;
constexpr DWORD kStartClass = BELOW_NORMAL_PRIORITY_CLASS;

// Whether the output so far ends with the prompt; `tail` keeps its last bytes.
bool AddOutput(char (&tail)[sizeof kPrompt], const char* bytes, DWORD count) {
  const std::size_t keep = sizeof kPrompt - 1;
  for (DWORD i = 0; i < count; ++i) {
    std::memmove(tail, tail + 1, keep - 1);
    tail[keep - 1] = bytes[i];
  }
  return std::memcmp(tail, kPrompt, keep) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 125;
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE input_read, input_write, output_read, output_write;
  if (!CreatePipe(&input_read, &input_write, &inherited, 0) ||
      !CreatePipe(&output_read, &output_write, &inherited, 0)) {
    return 126;
  }
  // The key's end of the pipe stays open and ours: until it is written, the
  // program's key wait cannot end.
  SetHandleInformation(input_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(output_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input_read;
  startup.hStdOutput = output_write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  // Set again before it runs: wine starts a process at normal priority
  // whatever class its creation asks for.
  if (!CreateProcessA(argv[1], nullptr, nullptr, nullptr, TRUE, CREATE_SUSPENDED | kStartClass,
                      nullptr, nullptr, &startup, &process) ||
      !SetPriorityClass(process.hProcess, kStartClass) || ResumeThread(process.hThread) != 1) {
    return 126;
  }
  CloseHandle(input_read);
  CloseHandle(output_write);
  std::printf("start %lx\n", GetPriorityClass(process.hProcess));

  DWORD seen[16];
  DWORD seen_count = 0;
  char tail[sizeof kPrompt] = {};
  bool prompt = false;
  while (!prompt) {
    const DWORD now = GetPriorityClass(process.hProcess);
    DWORD i = 0;
    while (i < seen_count && seen[i] != now) ++i;
    if (i == seen_count && seen_count < 16) seen[seen_count++] = now;
    DWORD waiting = 0;
    if (!PeekNamedPipe(output_read, nullptr, 0, nullptr, &waiting, nullptr)) break;  // it ended
    if (waiting == 0) {
      Sleep(1);
      continue;
    }
    char chunk[512];
    DWORD got = 0;
    if (!ReadFile(output_read, chunk, sizeof chunk, &got, nullptr)) break;
    prompt = AddOutput(tail, chunk, got);
  }
  std::printf("measuring");
  for (DWORD i = 0; i < seen_count; ++i) std::printf(" %lx", seen[i]);
  std::printf("\n");
  if (prompt) std::printf("key_wait %lx\n", GetPriorityClass(process.hProcess));

  DWORD written = 0;
  WriteFile(input_write, "k", 1, &written, nullptr);
  char rest[512];
  DWORD got = 0;
  while (ReadFile(output_read, rest, sizeof rest, &got, nullptr) && got != 0) {
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 127;
  GetExitCodeProcess(process.hProcess, &exit_code);
  std::printf("exit %lu\n", exit_code);
  return 0;
}
