#pragma once

#include <cstddef>

namespace quorvel {

// Whatever shows the debug log to the operator (the tree control of the main
// window). The log hands each new line over as it is placed; lines are
// numbered in the order they were appended.
class LogView {
 public:
  static constexpr std::size_t kTopLevel = static_cast<std::size_t>(-1);

  virtual ~LogView() = default;
  // `parent` is the number of an earlier line, or kTopLevel. The new line
  // goes last among its parent's children, collapsed, not selected.
  virtual void ShowLine(std::size_t line, std::size_t parent, const char* text) = 0;
  // The log dropped its oldest top-level entries: lines `first` (the oldest
  // entry's own line) up to, not including, `end`. A view that keeps nothing
  // has nothing to drop.
  virtual void RemoveEntries(std::size_t first, std::size_t end) {
    (void)first;
    (void)end;
  }
};

}  // namespace quorvel
