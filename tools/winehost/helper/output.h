#pragma once

#include <windows.h>

#include <string>

namespace qvtest {

// Standard output in binary mode: texts go out as the raw ANSI bytes the
// windows hold, and "\n" stays a single line feed.
void UseBinaryOutput();
void Write(const std::string& bytes);
void WriteLine(const std::string& bytes);

// One line of tab-separated "key=value" fields describing a window:
// hwnd, class, title, visible, enabled, style, exstyle, owner, parent, pid,
// rect (outer left,top,right,bottom on the screen), client (width,height).
std::string DescribeWindow(HWND window);

}  // namespace qvtest
