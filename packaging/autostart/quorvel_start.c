/* QuorvelStart.exe: starts Quorvel.exe from the folder this program lies in,
 * with that folder as the working directory, and ends.
 *
 * The relay reads JOX-UDP.ini from its working directory, and a value under
 * HKCU\Software\Microsoft\Windows\CurrentVersion\Run has no field for one:
 * Windows starts it wherever it likes. The installer's sign-in entry runs
 * this program instead of the relay. It is a window program (no console
 * flashes up) and shows nothing unless the relay cannot be started. When a
 * relay already has its window, it starts none, so that a second start does
 * not end in the relay's "port taken" box. */

#include <windows.h>
#include <wchar.h>

#include "quorvel_wire.h"

#define LONGEST_PATH 32768

static const wchar_t relay_name[] = L"Quorvel.exe";

static int complain(const char *text)
{
    MessageBoxA(NULL, text, "Error", MB_OK | MB_ICONERROR);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    static wchar_t folder[LONGEST_PATH];
    static wchar_t relay[LONGEST_PATH];
    static wchar_t command_line[LONGEST_PATH + 2];
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    DWORD length;
    wchar_t *last_separator;

    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;

    if (FindWindowA(QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE) != NULL) {
        return 0;
    }

    length = GetModuleFileNameW(NULL, folder, LONGEST_PATH);
    if (length == 0 || length >= LONGEST_PATH) {
        return complain("Der Ordner von QuorvelStart.exe ist nicht zu ermitteln.");
    }
    last_separator = wcsrchr(folder, L'\\');
    if (last_separator == NULL) {
        return complain("Der Ordner von QuorvelStart.exe ist nicht zu ermitteln.");
    }
    *last_separator = L'\0';
    if ((size_t)(last_separator - folder) + 1 + wcslen(relay_name) + 1 > LONGEST_PATH) {
        return complain("Der Pfad zu Quorvel.exe ist zu lang.");
    }
    swprintf(relay, LONGEST_PATH, L"%ls\\%ls", folder, relay_name);
    swprintf(command_line, LONGEST_PATH + 2, L"\"%ls\"", relay);

    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(relay, command_line, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process)) {
        return complain("Quorvel.exe konnte nicht gestartet werden.");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
