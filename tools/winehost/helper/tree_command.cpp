// tree HWND [--state] [--timeout MS]
// Dumps the SysTreeView32 child of the window, across processes: one line
// per item in tree order, two spaces of indent per level, the text as raw
// ANSI bytes. With --state each line starts with "<expanded 0/1> <has
// children 0/1>\t". Exit 1 when the window has no tree in time.
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "remote_buffer.h"
#include "wait.h"

namespace qvtest {
namespace {

constexpr std::size_t kTextOffset = 256;  // past the TVITEMA at the block's start
constexpr std::size_t kTextCapacity = 4096;
constexpr std::size_t kMaxItems = 200000;  // a runaway walk ends here

struct Item {
  std::string text;
  bool expanded = false;
  bool hasChildren = false;
};

HTREEITEM Next(HWND tree, HTREEITEM item, WPARAM relation) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

bool ReadItem(HWND tree, HTREEITEM handle, RemoteBuffer& block, Item& item) {
  TVITEMA request = {};
  request.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE | TVIF_CHILDREN;
  request.hItem = handle;
  request.stateMask = TVIS_EXPANDED;
  request.pszText = static_cast<char*>(block.address()) + kTextOffset;
  request.cchTextMax = static_cast<int>(kTextCapacity);
  char empty = 0;
  if (!block.Write(0, &request, sizeof request) || !block.Write(kTextOffset, &empty, 1)) return false;
  if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.address()))) return false;
  TVITEMA answer = {};
  std::vector<char> text(kTextCapacity + 1, 0);
  if (!block.Read(0, &answer, sizeof answer) || !block.Read(kTextOffset, text.data(), kTextCapacity)) return false;
  item.text = text.data();
  item.expanded = (answer.state & TVIS_EXPANDED) != 0;
  item.hasChildren = answer.cChildren != 0;
  return true;
}

}  // namespace

int RunTree(const CommandLine& args) {
  if (args.PositionalCount() != 1) return kUsage;
  auto window = ParseWindow(args.Positional(0));
  if (!window) return kUsage;
  HWND tree = nullptr;
  bool found = WaitFor(args.TimeoutMs(0), [&] {
    tree = FindWindowExA(*window, nullptr, WC_TREEVIEWA, nullptr);
    return tree != nullptr;
  });
  if (!found) return kNotFound;

  DWORD processId = 0;
  GetWindowThreadProcessId(tree, &processId);
  RemoteBuffer block(processId, kTextOffset + kTextCapacity + 1);
  if (!block.valid()) return kFailed;

  // Depth-first walk; the stack holds the next sibling to visit per level.
  struct Level {
    HTREEITEM item;
  };
  std::vector<Level> stack;
  stack.push_back({Next(tree, nullptr, TVGN_ROOT)});
  std::string out;
  std::size_t count = 0;
  while (!stack.empty() && count < kMaxItems) {
    HTREEITEM handle = stack.back().item;
    if (handle == nullptr) {
      stack.pop_back();
      continue;
    }
    stack.back().item = Next(tree, handle, TVGN_NEXT);
    Item item;
    if (!ReadItem(tree, handle, block, item)) return kFailed;
    ++count;
    if (args.Flag("state")) {
      out += std::string(item.expanded ? "1" : "0") + " " + (item.hasChildren ? "1" : "0") + "\t";
    }
    out += std::string(2 * (stack.size() - 1), ' ') + item.text + "\n";
    stack.push_back({Next(tree, handle, TVGN_CHILD)});
  }
  Write(out);
  return count < kMaxItems ? kOk : kFailed;
}

}  // namespace qvtest
