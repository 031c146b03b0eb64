// qvclient: a console client of the Quorvel relay for scripts and tests.
//
//   qvclient.exe [--message-only]
//
// Its window is a hidden top-level window, or with --message-only a
// message-only window (parent HWND_MESSAGE): the relay reaches either by its
// handle.
//
// Commands on standard input, one per line (see console_commands.h). Events
// on standard output, one per line:
//   ready HWND             the client's window (32-bit value, signed decimal)
//   ok COMMAND             the command was carried out
//   error COMMAND REASON SENTENCE
//   linkup PID             the relay carried out a create command
//   text HEX               a text from the partner, byte for byte
//   lost LENGTH            a text was announced but could not be read
//   report WHAT NUMBER     after "reports on": the text with that number
//                          (1 = the first "send") is waiting, sent-later or
//                          dropped
//   bye                    on "exit" or at the end of the input
#include <windows.h>

#include <cstdint>
#include <iostream>
#include <string>

#include "console_commands.h"
#include "event_output.h"
#include "hex_text.h"
#include "quorvel_client.h"

namespace {

constexpr UINT kCommandArrived = WM_APP + 1;  // lParam: a std::string* holding the line
constexpr UINT kInputEnded = WM_APP + 2;

qv_client client;
HWND ownWindow = nullptr;

void OnText(void*, const char* text, std::size_t length) { qvclient::WriteEvent("text " + qvclient::ToHex(text, length)); }

void OnLinkUp(void*, DWORD relayProcessId) { qvclient::WriteEvent("linkup " + std::to_string(relayProcessId)); }

void OnLostText(void*, std::size_t length) { qvclient::WriteEvent("lost " + std::to_string(length)); }

void OnReport(void*, int report, std::uint32_t textNumber) {
  const char* what = report == QV_REPORT_WAITING      ? "waiting"
                     : report == QV_REPORT_SENT_LATER ? "sent-later"
                     : report == QV_REPORT_DROPPED    ? "dropped"
                                                      : "unknown";
  qvclient::WriteEvent(std::string("report ") + what + " " + std::to_string(textNumber));
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (qv_handle_message(&client, message, wParam, lParam, &result)) return result;
  return DefWindowProcA(window, message, wParam, lParam);
}

// Reads standard input on a thread of its own, so that the window thread
// keeps taking the relay's notifications while no command is given.
DWORD WINAPI ReadCommands(LPVOID) {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    PostMessageA(ownWindow, kCommandArrived, 0, reinterpret_cast<LPARAM>(new std::string(line)));
  }
  PostMessageA(ownWindow, kInputEnded, 0, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool messageOnly = argc == 2 && std::string(argv[1]) == "--message-only";
  if (argc > 2 || (argc == 2 && !messageOnly)) {
    std::cerr << "usage: qvclient.exe [--message-only]\n";
    return 2;
  }
  qvclient::UseBinaryStreams();
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "QuorvelConsoleClient";
  if (RegisterClassA(&windowClass) == 0) return 3;
  ownWindow = CreateWindowExA(0, windowClass.lpszClassName, "Quorvel console client", WS_OVERLAPPED, 0, 0, 100,
                              100, messageOnly ? HWND_MESSAGE : nullptr, nullptr, windowClass.hInstance, nullptr);
  if (ownWindow == nullptr) return 3;
  qv_client_init(&client, ownWindow, OnText, nullptr);
  client.on_link_up = OnLinkUp;
  client.on_lost_text = OnLostText;
  client.on_report = OnReport;
  qvclient::WriteEvent("ready " +
                       std::to_string(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(ownWindow))));

  HANDLE reader = CreateThread(nullptr, 0, ReadCommands, nullptr, 0, nullptr);
  if (reader == nullptr) return 3;

  MSG message;
  bool goOn = true;
  while (goOn && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == ownWindow && message.message == kCommandArrived) {
      auto* line = reinterpret_cast<std::string*>(message.lParam);
      goOn = qvclient::RunCommand(client, *line);
      delete line;
    } else if (message.hwnd == ownWindow && message.message == kInputEnded) {
      qvclient::WriteEvent("bye");
      goOn = false;
    } else {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  qv_client_close(&client);
  DestroyWindow(ownWindow);
  // The reader thread may still wait for input; ending the process ends it.
  ExitProcess(0);
}
