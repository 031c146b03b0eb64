// The relay's entry point: the Win32 seams and the relay's state, wired
// together once for the life of the process.

#include <new>

#include "app/run_relay.h"
#include "base/win32/windows_api.h"
#include "win32/win32_client_platform.h"
#include "win32/win32_desktop.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  // The relay takes no arguments; the command line is fetched and left alone.
  static_cast<void>(GetCommandLineA());

  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_TREEVIEW_CLASSES;
  InitCommonControlsEx(&controls);

  // The relay's state lives until the process ends and is never taken apart:
  // the end of the process releases everything at once.
  auto* desktop = new (std::nothrow) quorvel::win32::Win32Desktop(module);
  auto* clients = new (std::nothrow) quorvel::win32::Win32ClientPlatform();
  if (desktop == nullptr || clients == nullptr) return 0;
  auto* relay = new (std::nothrow) quorvel::Relay(*desktop, *clients);
  if (relay == nullptr) return 0;
  quorvel::RunRelay(*relay);
}
