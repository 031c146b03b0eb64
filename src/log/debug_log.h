#pragma once

// The debug log: the tree of everything the relay does, grouped by event,
// and the view that shows it. Off unless debugging is on; then every line
// the relay writes is placed in the tree and handed to the view.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

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
  virtual void RemoveEntries(std::size_t /*first*/, std::size_t /*end*/) {}
};

class DebugLog {
 public:
  // Debugging on: from now on lines are kept. Off (the start): every call
  // below does nothing, and costs no formatting.
  void Enable(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }
  void AttachView(LogView* view) { view_ = view; }

  // Keeps at most `entries` top-level entries: once there are that many, a
  // new one first drops the oldest tenth of them (at least one) with every
  // line under them. 0 keeps all. Lines keep their numbers.
  void KeepNewestEntries(std::size_t entries) { entryLimit_ = entries; }

  // Appends one line, formatted as by printf. A C-style variadic function on
  // purpose: the compiler checks every format against its arguments, which
  // a parameter pack would not.
#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void Line(const char* format, ...);  // NOLINT(cert-dcl50-cpp)
  // Appends the bytes as one line of text: up to their first zero byte, at
  // most `length` of them.
  void Text(const std::uint8_t* bytes, std::int32_t length);

  // Marks the line just appended (in practice) as an open group: the lines
  // that follow become its children until CloseGroup. The tree's shape is
  // what the operator sees, so groups are opened and closed explicitly.
  void OpenGroup();
  void CloseGroup();

  bool empty() const { return lines_.empty(); }
  // The tree as text: one line each, two spaces of indent per level, in tree
  // order. For tests and for anyone reading a log outside the window.
  std::string Render() const;

 private:
  struct Entry {
    std::string text;
    std::size_t parent;  // LogView::kTopLevel for a top-level line
    bool openMark = false;
    std::vector<std::size_t> children;
  };
  void Append(std::string text);
  std::size_t NearestOpen(std::size_t from) const;  // kTopLevel when none
  Entry& LineAt(std::size_t number) { return lines_[number - firstLine_]; }
  const Entry& LineAt(std::size_t number) const { return lines_[number - firstLine_]; }
  std::size_t EndLine() const { return firstLine_ + lines_.size(); }
  void DropOldestEntries(std::size_t count);

  bool enabled_ = false;
  // The kept lines in the order they were appended; line number n is at
  // n - firstLine_. An entry's lines are contiguous: once a newer top-level
  // line exists no line can join an older entry.
  std::deque<Entry> lines_;
  std::size_t firstLine_ = 0;
  std::deque<std::size_t> topLevel_;
  std::size_t entryLimit_ = 0;
  LogView* view_ = nullptr;
};

}  // namespace quorvel
