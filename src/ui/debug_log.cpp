#include "ui/debug_log.h"

#include <utility>

namespace quorvel {

// The nearest line among `from` and its ancestors that is an open group.
std::size_t DebugLog::NearestOpen(std::size_t from) const {
  for (std::size_t line = from; line != LogView::kTopLevel; line = lines_[line].parent) {
    if (lines_[line].openMark) return line;
  }
  return LogView::kTopLevel;
}

void DebugLog::AppendLine(const char* text) {
  const std::size_t parent = lines_.empty() ? LogView::kTopLevel : NearestOpen(lines_.size() - 1);
  const std::size_t number = lines_.size();
  lines_.push_back(Line{text != nullptr ? text : "", parent, false, {}});
  if (parent == LogView::kTopLevel) {
    topLevel_.push_back(number);
  } else {
    lines_[parent].children.push_back(number);
  }
  if (view_ != nullptr) view_->ShowLine(number, parent, lines_[number].text.c_str());
}

void DebugLog::OpenGroup() {
  if (lines_.empty()) return;
  // The group to open hangs directly under the nearest open ancestor of the
  // last line. Right after a CloseGroup that is the group just closed, which
  // is thereby opened again.
  const std::size_t enclosing = NearestOpen(lines_.back().parent);
  const std::vector<std::size_t>& siblings =
      enclosing == LogView::kTopLevel ? topLevel_ : lines_[enclosing].children;
  if (!siblings.empty()) lines_[siblings.back()].openMark = true;
}

void DebugLog::CloseGroup() {
  if (lines_.empty()) return;
  const std::size_t open = NearestOpen(lines_.size() - 1);
  if (open != LogView::kTopLevel) lines_[open].openMark = false;
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
    rendered += lines_[number].text;
    rendered += '\n';
    const std::vector<std::size_t>& children = lines_[number].children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return rendered;
}

}  // namespace quorvel
