// find [--class C] [--title T] [--visible] [--all] [--timeout MS]
// Prints one line per matching top-level window (the first only, unless
// --all); exit 1 when none matched in time.
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "wait.h"

namespace qvtest {
namespace {

struct Search {
  std::optional<std::string> className;
  std::optional<std::string> title;
  bool visibleOnly = false;
  std::vector<HWND> found;
};

bool Matches(HWND window, const Search& search) {
  if (search.className) {
    char text[256] = {};
    GetClassNameA(window, text, sizeof text);
    if (*search.className != text) return false;
  }
  if (search.title) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    if (*search.title != text) return false;
  }
  return !search.visibleOnly || IsWindowVisible(window);
}

BOOL CALLBACK Collect(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  if (Matches(window, *search)) search->found.push_back(window);
  return TRUE;
}

}  // namespace

int RunFind(const CommandLine& args) {
  Search search;
  search.className = args.Option("class");
  search.title = args.Option("title");
  search.visibleOnly = args.Flag("visible");
  bool found = WaitFor(args.TimeoutMs(0), [&] {
    search.found.clear();
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
    return !search.found.empty();
  });
  if (!found) return kNotFound;
  for (HWND window : search.found) {
    WriteLine(DescribeWindow(window));
    if (!args.Flag("all")) break;
  }
  return kOk;
}

}  // namespace qvtest
