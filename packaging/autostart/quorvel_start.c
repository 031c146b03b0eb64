/* QuorvelStart.exe: starts Quorvel.exe from the folder this program lies in,
 * with that folder as the working directory, and ends. With /stop it ends
 * the running relay instead, as a close request does, and waits for it.
 *
 * The relay reads JOX-UDP.ini from its working directory, and a value under
 * HKCU\Software\Microsoft\Windows\CurrentVersion\Run has no field for one:
 * Windows starts it wherever it likes. The installer's sign-in entry runs
 * this program instead of the relay. It is a window program (no console
 * flashes up) and shows nothing unless the relay cannot be started. When a
 * relay already has its window, it starts none, so that a second start does
 * not end in the relay's "port taken" box.
 *
 * /stop is what the Start-menu entry "Quorvel beenden" and the installer run
 * (before an uninstall or upgrade, so that no program file is in use). It
 * posts WM_CLOSE to every relay window, and exits 0 once no relay is left,
 * 2 when one is still running after a while, showing nothing either way. */

#include <windows.h>
#include <shellapi.h>
#include <wchar.h>

#include "quorvel_wire.h"

#define LONGEST_PATH 32768
/* How long a relay may take to end after its close request. */
#define STOP_WAIT_MS 10000
/* At most this many relays are asked in turn (one per port). */
#define MOST_RELAYS 16

static const wchar_t relay_name[] = L"Quorvel.exe";

static int complain(const char *text)
{
    MessageBoxA(NULL, text, "Error", MB_OK | MB_ICONERROR);
    return 1;
}

/* Asks each running relay to end, one after the other, and waits for each. */
static int stop_relays(void)
{
    int asked;
    for (asked = 0; asked < MOST_RELAYS; ++asked) {
        HWND relay_window = FindWindowA(QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE);
        DWORD process_id = 0;
        HANDLE process;
        DWORD waited;
        if (relay_window == NULL) {
            return 0;
        }
        GetWindowThreadProcessId(relay_window, &process_id);
        process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
        if (process == NULL || !PostMessageA(relay_window, WM_CLOSE, 0, 0)) {
            if (process != NULL) {
                CloseHandle(process);
            }
            return 2;
        }
        waited = WaitForSingleObject(process, STOP_WAIT_MS);
        CloseHandle(process);
        if (waited != WAIT_OBJECT_0) {
            return 2;
        }
    }
    return FindWindowA(QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE) == NULL ? 0 : 2;
}

/* Whether the command line holds the word /stop (or -stop), in any case. */
static int asks_to_stop(void)
{
    int count = 0;
    int index;
    int found = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == NULL) {
        return 0;
    }
    for (index = 1; index < count; ++index) {
        if ((words[index][0] == L'/' || words[index][0] == L'-') && _wcsicmp(words[index] + 1, L"stop") == 0) {
            found = 1;
        }
    }
    LocalFree(words);
    return found;
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

    if (asks_to_stop()) {
        return stop_relays();
    }
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
