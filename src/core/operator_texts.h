#pragma once

// Every text the operator sees, in the window's code page (Windows-1252).
// Non-ASCII letters are written as hex escapes; a literal is split right
// after an escape so that the next letter is not taken into it.

namespace quorvel::texts {

inline constexpr char kSettingsFile[] = "JOX-UDP.ini";
inline constexpr char kSettingsGroup[] = "UDP Settings";
inline constexpr char kPortKey[] = "Port";
inline constexpr char kReceiveBufferKey[] = "ReceiveBuffer Size";
inline constexpr char kSendBufferKey[] = "SendBuffer Size";
inline constexpr char kDebuggingKey[] = "Debugging";

inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kMainWindowTitle[] = "Quorvel.exe";
inline constexpr char kMainWindowClassFormat[] = "WindowClass_%ld";

// Start-up.
inline constexpr char kNetworkStartFailed[] = "Es war nicht m\xF6" "glich ihr Netzwerk zu initalisieren.";
inline constexpr char kPortTakenBefore[] = "Es war nicht m\xF6" "glich einen Server auf dem Port ";
inline constexpr char kPortTakenAfter[] =
    " UDP zu erstellen.\nVielleicht l\xE4" "uft Quorvel.exe schon oder ein anderes Programm belegt den Port.";
inline constexpr char kWindowCreatedFormat[] = "Fenster mit der hwnd %ld erstellt";
inline constexpr char kServerStartedFormat[] = "Server auf Port %ld initalisiert";

// Peer protocol (datagrams from partners).

// Client link (client window messages and commands).

}  // namespace quorvel::texts
