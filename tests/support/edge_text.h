// Texts placed at the edge of readable memory, so that a routine that reads
// past what it may read is caught: ExactText by AddressSanitizer, GuardedText
// by a fault in every build, the plain ones and those the sanitizer cannot see
// into too. Shared by the unit tests and the fuzz targets (fuzz/).
#ifndef STRCYCLES_TESTS_SUPPORT_EDGE_TEXT_H_
#define STRCYCLES_TESTS_SUPPORT_EDGE_TEXT_H_

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

// A heap block of its own that holds `content` and its terminator `offset`
// bytes in, then exactly `slack` bytes taken from `fill` in turn, and nothing
// else. The offset moves the text's start across word boundaries.
struct ExactText {
  explicit ExactText(const std::string& content, std::size_t offset = 0, std::size_t slack = 0,
                     const std::string& fill = "x")
      : block(new char[offset + content.size() + 1 + slack]),
        text(block.get() + offset),
        end(text + content.size() + 1 + slack) {
    std::memset(block.get(), 'A', offset);
    std::memcpy(text, content.c_str(), content.size() + 1);
    for (std::size_t i = 0; i < slack; ++i) {
      text[content.size() + 1 + i] = fill.empty() ? 'x' : fill[i % fill.size()];
    }
  }

  std::unique_ptr<char[]> block;
  char* text;
  char* end;  // just past the slack
};

// Room for texts of up to `capacity` bytes, with their terminator and slack,
// right before a page that cannot be read at all.
class GuardedText {
 public:
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

#endif  // STRCYCLES_TESTS_SUPPORT_EDGE_TEXT_H_
