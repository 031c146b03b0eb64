#pragma once

#include <cstddef>
#include <vector>

#include "ui/log_view.h"
#include "ui/win32/windows_api.h"

namespace quorvel::win32 {

// Shows the debug log's lines in the tree control, each under the item of
// its parent line. Lines are added collapsed; the control is neither
// expanded, scrolled nor given a selection, so the operator's view stays put.
class TreeLogView final : public LogView {
 public:
  explicit TreeLogView(HWND tree) : tree_(tree) {}

  void ShowLine(std::size_t line, std::size_t parent, const char* text) override;

 private:
  HTREEITEM ItemOf(std::size_t line) const;

  HWND tree_;
  std::vector<HTREEITEM> items_;  // by line number; null where the control refused a line
};

}  // namespace quorvel::win32
