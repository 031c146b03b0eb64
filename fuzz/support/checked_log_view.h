#pragma once

#include <cstdio>
#include <cstdlib>

#include "log/debug_log.h"

namespace quorvel::fuzzing {

// A log view that stops the fuzzer when the log hands over a line that no
// tree control could place: out of order, or under a line not yet shown.
class CheckedLogView : public LogView {
 public:
  void ShowLine(std::size_t line, std::size_t parent, const char*) override {
    if (line != shown_ || (parent != kTopLevel && parent >= line)) {
      std::fprintf(stderr, "log line %zu placed under %zu after %zu lines\n", line, parent, shown_);
      std::abort();
    }
    ++shown_;
  }

 private:
  std::size_t shown_ = 0;
};

}  // namespace quorvel::fuzzing
