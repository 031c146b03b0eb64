// The window a test client of the relay owns, and the loop that runs the
// commands a test gives it on standard input. Standard input is read on a
// thread of its own, so that the window's thread keeps taking the relay's
// messages while no command is given; each line is handed to the window's
// thread, which runs it between the relay's messages.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>

namespace command_window {

constexpr UINT CommandArrived = WM_APP + 1;  // lParam: a std::string* with the line
constexpr UINT InputEnded = WM_APP + 2;

// A plain overlapped window of its own class; null when the platform refused it.
inline HWND Create(const char* className, const char* title, WNDPROC procedure) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  if (RegisterClassA(&windowClass) == 0) return nullptr;
  return CreateWindowExA(0, className, title, WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

inline DWORD WINAPI ReadCommands(LPVOID windowParameter) {
  const HWND window = static_cast<HWND>(windowParameter);
  char line[8192];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    PostMessageA(window, CommandArrived, 0, reinterpret_cast<LPARAM>(new std::string(text)));
  }
  PostMessageA(window, InputEnded, 0, 0);
  return 0;
}

// Delivers the thread's messages and runs each command line with
// `runCommand` until it answers false or the input ends. False when the
// reading thread could not be started.
inline bool RunCommands(HWND window, bool (*runCommand)(const std::string& line)) {
  if (CreateThread(nullptr, 0, ReadCommands, window, 0, nullptr) == nullptr) return false;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == window && message.message == CommandArrived) {
      std::string* line = reinterpret_cast<std::string*>(message.lParam);
      const bool goOn = runCommand(*line);
      delete line;
      if (!goOn) break;
      continue;
    }
    if (message.hwnd == window && message.message == InputEnded) break;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

}  // namespace command_window
