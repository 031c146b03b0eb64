#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "ui/log_view.h"

namespace quorvel {

// The tree of everything the relay does, grouped by event. It holds the tree
// itself and hands each placed line to the attached view, if any.
class DebugLog {
 public:
  void AttachView(LogView* view) { view_ = view; }

  // Keeps at most `entries` top-level entries: once there are that many, a
  // new one first drops the oldest tenth of them (at least one) with every
  // line under them. 0 keeps all. Lines keep their numbers.
  void KeepNewestEntries(std::size_t entries) { entryLimit_ = entries; }

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
  Line& LineAt(std::size_t number) { return lines_[number - firstLine_]; }
  const Line& LineAt(std::size_t number) const { return lines_[number - firstLine_]; }
  std::size_t EndLine() const { return firstLine_ + lines_.size(); }
  void DropOldestEntries(std::size_t count);

  // The kept lines in the order they were appended; line number n is at
  // n - firstLine_. An entry's lines are contiguous: once a newer top-level
  // line exists no line can join an older entry.
  std::deque<Line> lines_;
  std::size_t firstLine_ = 0;
  std::deque<std::size_t> topLevel_;
  std::size_t entryLimit_ = 0;
  LogView* view_ = nullptr;
};

}  // namespace quorvel
