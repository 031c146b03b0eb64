#include "ui/win32/log_tree.h"

namespace quorvel::win32 {

HWND CreateLogTree(HWND mainWindow, HINSTANCE module) {
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                      TVS_DISABLEDRAGDROP;
  // The control id travels in the menu argument of a child window.
  HWND tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "", style, 0, 0, 400, 400, mainWindow,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLogTreeId)), module, nullptr);
  if (tree != nullptr) {
    SendMessageA(tree, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  }
  return tree;
}

}  // namespace quorvel::win32
