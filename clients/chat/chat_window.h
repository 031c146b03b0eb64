#pragma once

#include <windows.h>

namespace chat {

// Control identifiers of the chat window (GetDlgItem), fixed so that
// scripts and tests can find the controls.
enum ControlId : int {
  kHostEdit = 101,
  kNameEdit = 102,
  kConnectButton = 103,
  kConversation = 104,
  kInputEdit = 105,
  kSendButton = 106,
  kStatusText = 107,
};

inline constexpr wchar_t kChatWindowClass[] = L"QuorvelChat";

// Registers the window class and creates the chat window; 0 on failure.
HWND CreateChatWindow(HINSTANCE instance, int show);

}  // namespace chat
