#!/usr/bin/env python3
"""The resident relay under Wine: its notification-area icon (shown in
Wine's system tray, its menu ending the relay, none when switched off) and
the end of a session; each ending leaves its own last line in the log file,
and a text cannot add lines of its own to that file."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main, wait_until
from sdk_programs import ConsoleClient

ICON_WINDOW_CLASS = "QuorvelTrayIcon"
WINE_TRAY_TITLE = "Wine System Tray"  # Wine's stand-in tray, shown while it holds an icon
ICON_MESSAGE = 0x8001  # WM_APP + 1, what the taskbar sends about the icon
WM_KEYDOWN, VK_UP, VK_RETURN, WM_RBUTTONUP = 0x0100, 0x26, 0x0D, 0x0205
EXIT_WAIT = 30


def settings(*lines):
    return b"".join(line + b"\r\n" for line in (b"[UDP Settings]", b"Log File=relay.log") + lines)


def wine_tray_shown(host):
    return any(window.visible for window in host.find_windows(title=WINE_TRAY_TITLE))


def check_last_line(host, line):
    data = (host.work / "relay.log").read_bytes()
    check(data.endswith(line + b"\r\n"), f"the log file ends with {line!r}: {data[-200:]!r}")


@case(timeout=240)
def icon_menu_ends_the_relay(session):
    """The icon reaches the tray; a right click opens its menu, and its last
    item, chosen by keyboard, ends the relay (exit code 0) and takes the icon
    away. With Tray Icon=0 there is no icon."""
    a = session.host("a", settings(b"Debugging=1"))
    relay = a.start_relay()
    a.relay_window()
    icon = a.find_windows(class_name=ICON_WINDOW_CLASS, wait=30)
    check_equal(len(icon), 1, "icon windows")
    wait_until(lambda: wine_tray_shown(a), 30, "Wine's tray to show the icon")

    a.post(icon[0].hwnd, ICON_MESSAGE, 1, WM_RBUTTONUP)
    check(a.find_windows(class_name="#32768", visible_only=True, wait=30), "the icon's menu opens")
    # Up from no selection selects the last item, "Quorvel beenden".
    a.post(icon[0].hwnd, WM_KEYDOWN, VK_UP)
    a.post(icon[0].hwnd, WM_KEYDOWN, VK_RETURN)
    check_equal(relay.wait(EXIT_WAIT), 0, "exit code after the icon's end command")
    check_last_line(a, b"Programm wird beendet: \xfcber das Symbol im Infobereich")
    wait_until(lambda: not wine_tray_shown(a), 30, "the icon to go with the relay")

    b = session.host("b", settings(b"Tray Icon=0"))
    b.start_relay()
    b.relay_window()
    check_equal(b.find_windows(class_name=ICON_WINDOW_CLASS, wait=3), [], "icon windows with Tray Icon=0")
    check(not wine_tray_shown(b), "Wine's tray stays empty")


@case(timeout=180)
def session_end_is_logged_and_exits_0(session):
    """Wine ends the session as Windows does (WM_QUERYENDSESSION, then
    WM_ENDSESSION): the relay writes its line, the file holds it, exit 0."""
    a = session.host("a", settings())
    relay = a.start_relay()
    a.relay_window()
    check_equal(a.run("wineboot", "--end-session", timeout=60).returncode, 0, "exit code of wineboot --end-session")
    check_equal(relay.wait(EXIT_WAIT), 0, "exit code at the end of the session")
    check_last_line(a, b"Programm wird beendet: Windows-Sitzung endet")


@case(timeout=180)
def a_text_with_line_breaks_is_one_line_in_the_log_file(session):
    """A client's text that holds CR LF and a made-up log line is logged as
    it is sent: one line of the file, its control bytes escaped."""
    a = session.host("a", settings())
    a.start_relay()
    a.relay_window()
    client = ConsoleClient(a, "client")
    client.connect()
    client.create(7, "127.0.0.1")
    forged = b"Hallo\r\n2026-01-01 00:00:00  EmpfangsEvent\rallein\nund\x1b"
    client.command_ok("sendhex " + forged.hex(), "sendhex")
    escaped = b"Hallo\\r\\n2026-01-01 00:00:00  EmpfangsEvent\\rallein\\nund\\x1B\r\n"

    def logged():
        path = a.work / "relay.log"
        return path.is_file() and escaped in path.read_bytes()
    wait_until(logged, 30, "the text in the log file")
    lines = (a.work / "relay.log").read_bytes().split(b"\r\n")
    check(all(not line.startswith(b"2026-01-01") for line in lines), "no line of the text's own making")
    check(all(b"\r" not in line and b"\n" not in line for line in lines), "no lone CR or LF in the file")


if __name__ == "__main__":
    raise SystemExit(main())
