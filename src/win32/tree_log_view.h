#pragma once

// The debug log shown in the main window's tree control.

#include <cstddef>
#include <deque>

#include "base/win32/windows_api.h"
#include "log/debug_log.h"

#include <commctrl.h>

namespace quorvel::win32 {

// Control id of the log tree inside the main window.
inline constexpr int kLogTreeId = 2;

// Creates the tree control that shows the debug log, filling the main
// window's client area (400 x 400 logical pixels). Null when the platform
// refused it.
HWND CreateLogTree(HWND mainWindow, HINSTANCE module);

// Shows the debug log's lines in the tree control, each under the item of
// its parent line. Lines are added collapsed; the control is neither
// expanded, scrolled nor given a selection, so the operator's view stays put.
class TreeLogView final : public LogView {
 public:
  explicit TreeLogView(HWND tree) : tree_(tree) {}

  void ShowLine(std::size_t line, std::size_t parent, const char* text) override;
  void RemoveEntries(std::size_t first, std::size_t end) override;

 private:
  HTREEITEM ItemOf(std::size_t line) const;

  HWND tree_;
  struct Shown {
    HTREEITEM item;  // null where the control refused the line
    bool topLevel;
  };
  std::deque<Shown> items_;  // by line number from firstLine_ on
  std::size_t firstLine_ = 0;
};

}  // namespace quorvel::win32
