#pragma once

namespace quorvel::win32 {

// Modal message box with an OK button. While it is open the calling
// thread's other visible windows are disabled, so that the operator can only
// answer the box; the thread keeps delivering its messages meanwhile.
// Returns MessageBoxA's result (0 when the box could not be shown).
int ErrorBox(const char* caption, const char* text);

}  // namespace quorvel::win32
