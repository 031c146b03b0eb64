#include "ui/win32/tree_log_view.h"

namespace quorvel::win32 {

HTREEITEM TreeLogView::ItemOf(std::size_t line) const {
  return line < items_.size() ? items_[line] : nullptr;
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
  if (line >= items_.size()) items_.resize(line + 1, nullptr);
  items_[line] = item;
}

}  // namespace quorvel::win32
