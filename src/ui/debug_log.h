#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/log_view.h"

namespace quorvel {

// The tree of everything the relay does, grouped by event. It holds the tree
// itself and hands each placed line to the attached view, if any.
class DebugLog {
 public:
  void AttachView(LogView* view) { view_ = view; }

  void AppendLine(const char* text);
  // Marks the line just appended (in practice) as an open group: the lines
  // that follow become its children until CloseGroup.
  void OpenGroup();
  void CloseGroup();

  bool empty() const { return lines_.empty(); }
  // The tree as text: one line each, two spaces of indent per level, in tree
  // order. For tests and for anyone reading a log outside the window.
  std::string Render() const;

 private:
  struct Line {
    std::string text;
    std::size_t parent;  // LogView::kTopLevel for a top-level line
    bool openMark = false;
    std::vector<std::size_t> children;
  };
  std::size_t NearestOpen(std::size_t from) const;  // kTopLevel when none

  std::vector<Line> lines_;  // in the order they were appended
  std::vector<std::size_t> topLevel_;
  LogView* view_ = nullptr;
};

}  // namespace quorvel
