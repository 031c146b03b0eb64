#pragma once

// The debug log: the tree of everything the relay does, grouped by event,
// the view that shows it and the operator's log file. Off unless debugging
// is on or a log file is named; then every line the relay writes is placed
// in the tree, handed to the view and appended to the file.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "log/log_file.h"

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
  // Debugging on: from now on lines are kept for the view. With debugging
  // off and no log file (the start) every call below does nothing, and
  // costs no formatting.
  void Enable(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }
  // Whether lines go anywhere: debugging is on or a log file is written.
  bool active() const { return enabled_ || file_.IsOpen(); }
  void AttachView(LogView* view) { view_ = view; }

  // Appends every line to the file at `path` as well, debugging on or off,
  // the file holding at most `limitBytes` (see LogFile). When the file
  // cannot be opened or written, it is given up, and with debugging on the
  // tree says so once, in a line made of `failureFormat` and the path.
  void WriteToFile(const std::string& path, std::int64_t limitBytes, const char* failureFormat);
  // Hands what is buffered for the file to the system.
  void Flush() { file_.Flush(); }

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
  void Place(std::string text);
  std::size_t DepthOf(std::size_t line) const;
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
  LogFile file_;
  std::string fileFailure_;  // the line that reports the file's failure; empty once reported
  bool fileFailed_ = false;
};

}  // namespace quorvel
