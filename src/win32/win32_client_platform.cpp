// The local client programs' processes and windows over the platform.

#include "win32/win32_client_platform.h"

#include "base/win32/windows_api.h"

namespace quorvel::win32 {

ProcessHandle Win32ClientPlatform::OpenClientProcess(std::uint32_t processId) {
  return reinterpret_cast<ProcessHandle>(OpenProcess(PROCESS_VM_READ, FALSE, processId));
}

bool Win32ClientPlatform::ReadClientMemory(ProcessHandle process, std::uintptr_t address, void* buffer,
                                           std::size_t length) {
  SIZE_T bytesRead = 0;
  const BOOL read = ::ReadProcessMemory(reinterpret_cast<HANDLE>(process), reinterpret_cast<LPCVOID>(address),
                                        buffer, length, &bytesRead);
  return read != FALSE && bytesRead == length;
}

NotificationResult Win32ClientPlatform::NotifyWindow(WindowHandle window, std::uint32_t message,
                                                     std::uintptr_t wParam, std::intptr_t lParam,
                                                     std::uint32_t limitMs) {
  // Not SMTO_BLOCK: while it waits, the relay's thread must go on taking the
  // messages clients send to its own window, as a plain SendMessageA does.
  // Both parameters keep their full width: wParam may be an address.
  // SMTO_ABORTIFHUNG does not send to a window that is hung already. What a
  // failed send came to is asked only afterwards, since each question is a
  // trip to the window manager, which a text should not cost.
  const HWND target = reinterpret_cast<HWND>(window);
  const DWORD started = GetTickCount();
  DWORD_PTR value = 0;
  if (::SendMessageTimeoutA(target, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam),
                            SMTO_ABORTIFHUNG, limitMs, &value) != 0) {
    return {Delivery::Answered, static_cast<std::intptr_t>(value)};
  }
  if (IsWindow(target) == FALSE) return {Delivery::NotTaken, 0};
  // A hung window was not sent to, and the send gave up at once. One that
  // took the message and ran out the time counts as hung by the end, yet it
  // may still read what it was sent.
  const bool gaveUpAtOnce = GetTickCount() - started < limitMs / 2;
  if (gaveUpAtOnce && IsHungAppWindow(target) != FALSE) return {Delivery::NotTaken, 0};
  return {Delivery::NoAnswer, 0};
}

std::uint32_t Win32ClientPlatform::WindowOwner(WindowHandle window) {
  DWORD processId = 0;
  if (GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &processId) == 0) return 0;
  return processId;
}

std::uint32_t Win32ClientPlatform::RelayProcessId() { return GetCurrentProcessId(); }

}  // namespace quorvel::win32
