// The debug log: the tree of everything the relay does, grouped by event,
// which feeds the view and the operator's log file.

#include "log/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quorvel {

namespace {

constexpr std::size_t kEntriesForFileOnly = 16;

}  // namespace

// The nearest line among `from` and its ancestors that is an open group.
std::size_t DebugLog::NearestOpen(std::size_t from) const {
  for (std::size_t line = from; line != LogView::kTopLevel; line = LineAt(line).parent) {
    if (LineAt(line).openMark) return line;
  }
  return LogView::kTopLevel;
}

// Drops in tenths rather than one by one: the view then rearranges itself
// once for many entries.
void DebugLog::DropOldestEntries(std::size_t count) {
  const std::size_t first = topLevel_.front();
  for (std::size_t dropped = 0; dropped < count && !topLevel_.empty(); ++dropped) topLevel_.pop_front();
  const std::size_t end = topLevel_.empty() ? EndLine() : topLevel_.front();
  while (firstLine_ < end) {
    lines_.pop_front();
    ++firstLine_;
  }
  if (view_ != nullptr) view_->RemoveEntries(first, end);
}

void DebugLog::Line(const char* format, ...) {  // NOLINT(cert-dcl50-cpp): see the declaration
  if (!active()) return;
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  char line[256];
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length >= 0 && static_cast<std::size_t>(length) < sizeof line) {
    Append(line);
  } else if (length >= 0) {
    // Longer than a line usually is: formatted once more, whole.
    std::string longer(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(longer.data(), longer.size(), format, again);
    longer.pop_back();
    Append(std::move(longer));
  }
  va_end(again);
}

void DebugLog::Text(const std::uint8_t* bytes, std::int32_t length) {
  if (!active()) return;
  const char* text = reinterpret_cast<const char*>(bytes);
  std::size_t shown = 0;
  if (length > 0) {
    const void* zero = std::memchr(text, 0, static_cast<std::size_t>(length));
    shown = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                            : static_cast<std::size_t>(length);
  }
  Append(std::string(text, shown));
}

void DebugLog::WriteToFile(const std::string& path, std::int64_t limitBytes, const char* failureFormat) {
  char line[512];
  std::snprintf(line, sizeof line, failureFormat, path.c_str());
  fileFailure_ = line;
  fileFailed_ = !file_.Open(path, limitBytes);
}

// The depth of a line in the tree: 0 for a top-level line.
std::size_t DebugLog::DepthOf(std::size_t line) const {
  std::size_t depth = 0;
  for (std::size_t parent = LineAt(line).parent; parent != LogView::kTopLevel; parent = LineAt(parent).parent) {
    ++depth;
  }
  return depth;
}

void DebugLog::Append(std::string text) {
  // A failed file is reported once, in the tree only, before the next line.
  if (fileFailed_ && enabled_ && !fileFailure_.empty()) Place(std::exchange(fileFailure_, std::string()));
  Place(std::move(text));
}

void DebugLog::Place(std::string text) {
  const std::size_t parent = lines_.empty() ? LogView::kTopLevel : NearestOpen(EndLine() - 1);
  // Without debugging the tree only serves the file's indentation: a few
  // entries do for that.
  const std::size_t limit = enabled_ ? entryLimit_ : kEntriesForFileOnly;
  if (parent == LogView::kTopLevel && limit != 0) {
    if (topLevel_.size() >= limit) DropOldestEntries(topLevel_.size() - limit + 1 + limit / 10);
  }
  const std::size_t number = EndLine();
  lines_.push_back(Entry{std::move(text), parent, false, {}});
  if (parent == LogView::kTopLevel) {
    topLevel_.push_back(number);
  } else {
    LineAt(parent).children.push_back(number);
  }
  if (file_.IsOpen() && !file_.WriteLine(DepthOf(number), LineAt(number).text)) fileFailed_ = true;
  if (view_ != nullptr) view_->ShowLine(number, parent, LineAt(number).text.c_str());
}

void DebugLog::OpenGroup() {
  if (lines_.empty()) return;
  // The group to open hangs directly under the nearest open ancestor of the
  // last line. Right after a CloseGroup that is the group just closed, which
  // is thereby opened again.
  const std::size_t enclosing = NearestOpen(lines_.back().parent);
  if (enclosing == LogView::kTopLevel) {
    if (!topLevel_.empty()) LineAt(topLevel_.back()).openMark = true;
    return;
  }
  const std::vector<std::size_t>& siblings = LineAt(enclosing).children;
  if (!siblings.empty()) LineAt(siblings.back()).openMark = true;
}

void DebugLog::CloseGroup() {
  if (lines_.empty()) return;
  const std::size_t open = NearestOpen(EndLine() - 1);
  if (open != LogView::kTopLevel) LineAt(open).openMark = false;
}

std::string DebugLog::Render() const {
  std::string rendered;
  // Depth-first in tree order; the stack holds (line, depth), next on top.
  std::vector<std::pair<std::size_t, std::size_t>> pending;
  for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it) pending.emplace_back(*it, 0);
  while (!pending.empty()) {
    const auto [number, depth] = pending.back();
    pending.pop_back();
    rendered.append(2 * depth, ' ');
    rendered += LineAt(number).text;
    rendered += '\n';
    const std::vector<std::size_t>& children = LineAt(number).children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return rendered;
}

}  // namespace quorvel
