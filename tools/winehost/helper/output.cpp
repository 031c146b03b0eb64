#include "output.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "command_line.h"

namespace qvtest {

void UseBinaryOutput() { _setmode(_fileno(stdout), _O_BINARY); }

void Write(const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void WriteLine(const std::string& bytes) { Write(bytes + "\n"); }

namespace {

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", value);
  return text;
}

std::string WindowText(HWND window) {
  char text[1024] = {};
  // Reads the stored title without sending anything to a busy owner.
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassName(HWND window) {
  char text[256] = {};
  GetClassNameA(window, text, sizeof text);
  return text;
}

class FieldLine {
 public:
  void Add(const char* key, const std::string& value) {
    if (!line_.empty()) line_ += '\t';
    line_ += key;
    line_ += '=';
    line_ += value;
  }
  void Add(const char* key, long long value) { Add(key, std::to_string(value)); }
  const std::string& text() const { return line_; }

 private:
  std::string line_;
};

}  // namespace

std::string DescribeWindow(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HWND parent = GetAncestor(window, GA_PARENT);
  if (parent == GetDesktopWindow()) parent = nullptr;  // top-level windows
  RECT outer = {};
  RECT client = {};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);

  FieldLine line;
  line.Add("hwnd", HandleNumber(window));
  line.Add("class", ClassName(window));
  line.Add("title", WindowText(window));
  line.Add("visible", IsWindowVisible(window) ? 1 : 0);
  line.Add("enabled", IsWindowEnabled(window) ? 1 : 0);
  line.Add("style", Hex(static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE))));
  line.Add("exstyle", Hex(static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE))));
  line.Add("owner", HandleNumber(GetWindow(window, GW_OWNER)));
  line.Add("parent", HandleNumber(parent));
  line.Add("pid", static_cast<long long>(pid));
  line.Add("rect", std::to_string(outer.left) + "," + std::to_string(outer.top) + "," +
                       std::to_string(outer.right) + "," + std::to_string(outer.bottom));
  line.Add("client", std::to_string(client.right - client.left) + "," + std::to_string(client.bottom - client.top));
  return line.text();
}

}  // namespace qvtest
