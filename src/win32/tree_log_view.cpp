// The debug log shown in the main window's tree control.

#include "win32/tree_log_view.h"

namespace quorvel::win32 {

HWND CreateLogTree(HWND mainWindow, HINSTANCE module) {
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                      TVS_DISABLEDRAGDROP;
  // The control id travels in the menu argument of a child window.
  // The main window's whole client area: 400 x 400 logical pixels.
  RECT client = {0, 0, 400, 400};
  GetClientRect(mainWindow, &client);
  HWND tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "", style, 0, 0, client.right, client.bottom, mainWindow,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLogTreeId)), module, nullptr);
  if (tree != nullptr) {
    SendMessageA(tree, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  }
  return tree;
}


HTREEITEM TreeLogView::ItemOf(std::size_t line) const {
  return line >= firstLine_ && line - firstLine_ < items_.size() ? items_[line - firstLine_].item : nullptr;
}

void TreeLogView::ShowLine(std::size_t line, std::size_t parent, const char* text) {
  TVINSERTSTRUCTA insert = {};
  // A line whose parent never made it into the control still shows, at the
  // top level, rather than being dropped.
  HTREEITEM parentItem = parent == kTopLevel ? nullptr : ItemOf(parent);
  insert.hParent = parentItem != nullptr ? parentItem : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT;
  // The control copies the text; it never writes through this pointer.
  insert.item.pszText = const_cast<char*>(text);
  auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
  if (line < firstLine_) return;
  if (line - firstLine_ >= items_.size()) items_.resize(line - firstLine_ + 1, Shown{nullptr, false});
  items_[line - firstLine_] = Shown{item, insert.hParent == TVI_ROOT};
}

// Deleting a top-level item deletes every item under it. The control is
// redrawn once for all of them, not after each.
void TreeLogView::RemoveEntries(std::size_t first, std::size_t end) {
  SendMessageA(tree_, WM_SETREDRAW, FALSE, 0);
  for (std::size_t line = first; line < end; ++line) {
    if (line < firstLine_ || line - firstLine_ >= items_.size()) continue;
    const Shown& shown = items_[line - firstLine_];
    if (shown.topLevel && shown.item != nullptr) {
      SendMessageA(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(shown.item));
    }
  }
  while (firstLine_ < end && !items_.empty()) {
    items_.pop_front();
    ++firstLine_;
  }
  if (items_.empty() && firstLine_ < end) firstLine_ = end;
  SendMessageA(tree_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree_, nullptr, TRUE);
}

}  // namespace quorvel::win32
