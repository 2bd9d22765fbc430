// A text placed so that the first byte a routine may not read starts a page
// that cannot be read at all: any read past the permitted slack faults, in
// every build. AddressSanitizer sees only what the compiler instruments; this
// also holds the builds it cannot see into and the plain ones.
#ifndef STRCYCLES_TESTS_SUPPORT_GUARDED_TEXT_H_
#define STRCYCLES_TESTS_SUPPORT_GUARDED_TEXT_H_

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

class GuardedText {
 public:
  // Room for texts of up to `capacity` bytes with their terminator and slack.
  explicit GuardedText(std::size_t capacity) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    room_ = (capacity + page_ - 1) / page_ * page_;
    void* block =
        mmap(nullptr, room_ + page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::runtime_error("mmap failed");
    block_ = static_cast<char*>(block);
    if (mprotect(block_ + room_, page_, PROT_NONE) != 0) throw std::runtime_error("mprotect");
  }
  ~GuardedText() { munmap(block_, room_ + page_); }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;

  // Copies `text` and its terminator, then `slack` bytes of `fill`, so that
  // the guard page starts right after them; returns the copy.
  char* Place(const std::string& text, std::size_t slack, char fill = 'x') {
    if (text.size() + 1 + slack > room_) throw std::length_error("text too long");
    char* start = block_ + room_ - slack - text.size() - 1;
    std::memcpy(start, text.c_str(), text.size() + 1);
    std::memset(start + text.size() + 1, fill, slack);
    return start;
  }

 private:
  std::size_t page_ = 0;
  std::size_t room_ = 0;
  char* block_ = nullptr;
};

#endif  // STRCYCLES_TESTS_SUPPORT_GUARDED_TEXT_H_
