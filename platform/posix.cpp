#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace platform {
namespace {

// Closest to Win32's HIGH_PRIORITY_CLASS without starving the machine.
constexpr int kHighNice = -10;
// The signals whose default ends the process, sent or typed at the terminal (Ctrl-C, Ctrl-\).
constexpr int kTerminalSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
// One key can send several bytes (ESC [ A), the later ones a moment after the first: what comes
// until the line is quiet this long belongs to the key, not to the shell that reads the terminal
// next. The count of quiet waits bounds a held-down key.
constexpr int kKeyQuietMilliseconds = 50;
constexpr int kKeyQuietWaits = 4;

struct termios saved_terminal;
volatile sig_atomic_t terminal_changed;
struct sigaction saved_actions[sizeof kTerminalSignals / sizeof kTerminalSignals[0]];
bool sigpipe_ignored;
bool start_nice_known;
int start_nice;

void RestoreTerminal() {
  if (terminal_changed) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
    terminal_changed = 0;
  }
}

// A signal that ends the wait must not leave the terminal unechoed: restore it, then die of it.
void RestoreTerminalAndDie(int signal_number) {
  RestoreTerminal();
  raise(signal_number);
}

// Runs in key-wait mode, so nothing of the key is echoed or left for a canonical reader. A hang-up,
// an error or a signal ends it too: nothing more of the key is coming then.
void DiscardRestOfKey() {
  struct pollfd input = {STDIN_FILENO, POLLIN, 0};
  int waits = kKeyQuietWaits;
  do {
    tcflush(STDIN_FILENO, TCIFLUSH);
  } while (waits-- > 0 && poll(&input, 1, kKeyQuietMilliseconds) > 0 && input.revents == POLLIN);
}

}  // namespace

void RaiseProcessPriority() {
  if (!start_nice_known) {
    // -1 is a valid nice value, so only errno tells a failure apart.
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    start_nice = errno == 0 ? nice : 0;
    start_nice_known = true;
  }
  // A process started above the raised level is not lowered.
  setpriority(PRIO_PROCESS, 0, start_nice < kHighNice ? start_nice : kHighNice);
}

void RestoreProcessPriority() {
  setpriority(PRIO_PROCESS, 0, start_nice);
}

std::uint32_t WriteStandardOutput(const char* bytes, std::uint32_t count) {
  // A reader that goes away early must not change the exit code.
  if (!sigpipe_ignored) {
    signal(SIGPIPE, SIG_IGN);
    sigpipe_ignored = true;
  }
  const ssize_t written = write(STDOUT_FILENO, bytes, count);
  return written > 0 ? static_cast<std::uint32_t>(written) : 0;
}

void DiscardPendingInput() {
  // Not a terminal (pipe, file, /dev/null, closed): its next byte, or its end, is the key.
  if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return;
  struct sigaction action {};
  action.sa_handler = RestoreTerminalAndDie;
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (unsigned i = 0; i < sizeof kTerminalSignals / sizeof kTerminalSignals[0]; ++i) {
    sigaction(kTerminalSignals[i], nullptr, &saved_actions[i]);
    // A signal the caller ignores (nohup) must stay ignored.
    if (saved_actions[i].sa_handler != SIG_IGN) sigaction(kTerminalSignals[i], &action, nullptr);
  }
  struct termios raw = saved_terminal;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  terminal_changed = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  tcflush(STDIN_FILENO, TCIFLUSH);
}

void PauseOneMillisecond() {
  const struct timespec pause = {0, 1000000};
  nanosleep(&pause, nullptr);
}

bool KeyIsWaiting() {
  struct pollfd input = {STDIN_FILENO, POLLIN, 0};
  const int ready = poll(&input, 1, 0);
  // A hang-up, an error or a closed descriptor ends the wait as a key would.
  return ready > 0 || (ready < 0 && errno != EINTR);
}

int TakeKey() {
  unsigned char key = 0;
  const ssize_t got = read(STDIN_FILENO, &key, 1);
  if (terminal_changed) {
    DiscardRestOfKey();
    RestoreTerminal();
    for (unsigned i = 0; i < sizeof kTerminalSignals / sizeof kTerminalSignals[0]; ++i) {
      sigaction(kTerminalSignals[i], &saved_actions[i], nullptr);
    }
  }
  return got == 1 ? key : -1;
}

void EndProcess(std::uint32_t exit_code) {
  std::exit(static_cast<int>(exit_code));
}

}  // namespace platform
