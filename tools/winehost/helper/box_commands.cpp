// box [--caption C] [--timeout MS]
//   The first line describes the open message box (fields as for `find`, the
//   owner among them); everything after that line is the text of the box's
//   static control, raw, with its line breaks as the control reports them.
// press-ok [--caption C] [--timeout MS]
//   Presses the box's OK button. Exit 1 when no such box appeared in time.
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "wait.h"

namespace qvtest {
namespace {

constexpr char kDialogClass[] = "#32770";
constexpr int kStaticTextId = 0xFFFF;  // the message text of a message box

HWND FindBox(const CommandLine& args) {
  std::string caption = args.Option("caption").value_or("Error");
  HWND box = nullptr;
  WaitFor(args.TimeoutMs(0), [&] {
    box = FindWindowA(kDialogClass, caption.c_str());
    return box != nullptr && IsWindowVisible(box);
  });
  return box != nullptr && IsWindowVisible(box) ? box : nullptr;
}

}  // namespace

int RunBox(const CommandLine& args) {
  HWND box = FindBox(args);
  if (box == nullptr) return kNotFound;
  std::vector<char> text(8192, 0);
  GetDlgItemTextA(box, kStaticTextId, text.data(), static_cast<int>(text.size()));
  Write(DescribeWindow(box) + "\n" + text.data());
  return kOk;
}

int RunPressOk(const CommandLine& args) {
  HWND box = FindBox(args);
  if (box == nullptr) return kNotFound;
  HWND button = GetDlgItem(box, IDOK);
  // Posted, as a click would be: the box's own loop ends the dialog.
  if (!PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button))) {
    return kFailed;
  }
  WriteLine("pressed=" + std::to_string(HandleNumber(box)));
  return kOk;
}

}  // namespace qvtest
