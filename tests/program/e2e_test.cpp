// The built program end to end: its report on a pipe, its key wait on a
// pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

namespace {

const char* const kRows[] = {"msvcrt strstr", "finstr", "Wordsweep"};

// The whole report up to and including the prompt, figures as patterns.
std::string ReportPattern() {
  std::string pattern;
  for (int trial = 0; trial < 8; ++trial) {
    for (const char* row : kRows) pattern += "-?[0-9]+ timing " + std::string(row) + "\r\n";
  }
  pattern += "----------------------\r\n";
  for (const char* row : kRows) pattern += "-?[0-9]+ average " + std::string(row) + "\r\n";
  pattern += "----------------------\r\nPress any key to continue \\.\\.\\.";
  return pattern;
}

bool EndsWithPrompt(const std::string& text) {
  static const std::string kPrompt = "Press any key to continue ...";
  return text.size() >= kPrompt.size() &&
         text.compare(text.size() - kPrompt.size(), kPrompt.size(), kPrompt) == 0;
}

// Reads what `fd` offers within `timeout_ms`; false at end of file.
bool ReadSome(int fd, std::string& into, int timeout_ms) {
  struct pollfd p = {fd, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return true;
  char chunk[4096];
  const ssize_t got = read(fd, chunk, sizeof chunk);
  if (got <= 0) return false;
  into.append(chunk, static_cast<std::size_t>(got));
  return true;
}

// In a forked child: the program with its standard output on the pipe,
// started by its launcher where this kernel cannot run it (qemu-i386).
[[noreturn]] void RunProgramInChild(const int out[2]) {
  dup2(out[1], STDOUT_FILENO);
  close(out[0]);
  close(out[1]);
#ifdef STRCYCLES_LAUNCHER
  execl(STRCYCLES_LAUNCHER, STRCYCLES_LAUNCHER, STRCYCLES_PROGRAM, static_cast<char*>(nullptr));
#else
  execl(STRCYCLES_PROGRAM, STRCYCLES_PROGRAM, static_cast<char*>(nullptr));
#endif
  _exit(127);
}

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc);
}

TEST(Program, KeyWaitOnATerminal) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) RunProgramInChild(out);
  close(out[1]);
  termios before{};
  ASSERT_EQ(tcgetattr(terminal, &before), 0);
  // Pressed while the benchmark runs: must be thrown away, not taken as the key.
  ASSERT_EQ(write(terminal, "x", 1), 1);

  std::string report;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!EndsWithPrompt(report) && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(ReadSome(out[0], report, 100)) << "output ended before the prompt:\n" << report;
  }
  ASSERT_TRUE(std::regex_match(report, std::regex(ReportPattern()))) << report;

  // The early key did not end the wait, and nothing more is written.
  std::string after_prompt;
  ASSERT_TRUE(ReadSome(out[0], after_prompt, 300));
  EXPECT_EQ(after_prompt, "");
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the program did not wait for a key";

  std::string echoed;
  while (ReadSome(terminal, echoed, 50) && !echoed.empty() && echoed.back() == 'x') echoed.clear();
  ASSERT_EQ(write(terminal, "k", 1), 1);
  while (ReadSome(out[0], after_prompt, 5000) && std::chrono::steady_clock::now() < deadline) {
  }
  EXPECT_EQ(after_prompt, "\r\n");
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  echoed.clear();
  ReadSome(terminal, echoed, 50);
  EXPECT_EQ(echoed.find('k'), std::string::npos) << "the key was echoed";
  termios after{};
  // The slave side is closed now; the master still reports the pair's settings.
  ASSERT_EQ(tcgetattr(terminal, &after), 0);
  EXPECT_TRUE(SameSettings(before, after)) << "terminal settings were not restored";
  close(terminal);
  close(out[0]);
}

TEST(Program, CompletesOnItsOwnWithoutATerminal) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
    RunProgramInChild(out);
  }
  close(out[1]);
  std::string report;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadSome(out[0], report, 100) && std::chrono::steady_clock::now() < deadline) {
  }
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(std::regex_match(report, std::regex(ReportPattern() + "\r\n"))) << report;
}

}  // namespace
