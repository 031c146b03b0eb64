#!/usr/bin/env python3
"""Start-up, the main window, the port message and the end of Quorvel.exe,
run for real under Wine."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import (RELAY_WINDOW_CLASS, SC_CLOSE, WM_CLOSE, WM_NULL, WM_SYSCOMMAND, WS_CAPTION,
                     WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_SYSMENU, WS_THICKFRAME, case, check,
                     check_equal, main, wait_until)

DEFAULT_PORT = 1234
OTHER_PORT = 4711
EXIT_WAIT = 30  # seconds a relay may take to end after being told to


def port_message(port):
    return (b"Es war nicht m\xf6glich einen Server auf dem Port " + str(port).encode()
            + b" UDP zu erstellen.\nVielleicht l\xe4uft Quorvel.exe schon oder ein anderes Programm"
            b" belegt den Port.")


def settings(**keys):
    lines = [b"[UDP Settings]"] + [f"{key}={value}".encode() for key, value in keys.items()]
    return b"\r\n".join(lines) + b"\r\n"


def wait_for_port(host, port):
    wait_until(lambda: port in host.udp_ports(), 30, f"UDP port {port} to be bound")


def wait_for_log(host, hwnd, count):
    """The log tree's lines once it holds at least `count` of them."""
    def enough():
        lines = host.tree(hwnd, wait=10)
        return lines if lines is not None and len(lines) >= count else None
    return wait_until(enough, 30, f"{count} log lines")


def check_port_message(box, port):
    """The box text, whatever the control reports for the line break; the
    second sentence must stand on a line of its own."""
    first, second = port_message(port).split(b"\n")
    text = box.text.replace(b"\r\n", b"\n")
    check_equal(text, first + b"\n" + second, "text of the port message")
    check_equal(box.window.title, b"Error", "caption of the box")


@case(timeout=150)
def hidden_without_settings_file(session):
    """No JOX-UDP.ini: a hidden window without a log, port 1234, and a posted
    close request ends the relay with exit code 0."""
    host = session.host("a")
    relay = host.start_relay()
    window = host.relay_window()
    check(not window.visible, "the window is hidden without debugging")
    check_equal(window.title, b"Quorvel.exe", "window title")
    check_equal(window.owner, 0, "owner of the window")
    check(host.tree(window.hwnd) is None, "a hidden relay has no log tree")
    wait_for_port(host, DEFAULT_PORT)
    check(relay.running, "the relay keeps running")
    host.post(window.hwnd, WM_CLOSE)
    check_equal(relay.wait(EXIT_WAIT), 0, "exit code after WM_CLOSE")


@case(timeout=150)
def hidden_relay_answers_sent_messages(session):
    """Messages sent synchronously reach a hidden relay: a sent WM_CLOSE gets
    the default result 0 (never the callback's "not handled" value), and the
    relay ends no later than at the next queued message."""
    host = session.host("a", settings(Debugging=0))
    relay = host.start_relay()
    window = host.relay_window()
    check(not window.visible, "the window is hidden with Debugging=0")
    wait_for_port(host, DEFAULT_PORT)
    check_equal(host.send(window.hwnd, WM_NULL), 0, "result of a sent WM_NULL")
    check_equal(host.send(window.hwnd, WM_CLOSE), 0, "result of a sent WM_CLOSE")
    # Something queued for the poll to take; the relay may already be gone.
    host.helper("post", window.hwnd, WM_NULL, 0, 0)
    check_equal(relay.wait(EXIT_WAIT), 0, "exit code after a sent WM_CLOSE")


@case(timeout=150)
def debug_window_shows_start_lines(session):
    """Debugging=1 alone: a visible window whose log holds exactly the window
    line and the server line, both at the top level; the operator's close
    (the system menu's Close) ends the relay with 0."""
    host = session.host("a", settings(Debugging=1))
    relay = host.start_relay()
    window = host.relay_window(shown=True)
    check_equal(window.style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU,
                "caption and system menu")
    check_equal(window.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0,
                "no minimize or maximize box and no sizing border")
    check_equal(window.client, (400, 400), "client area")
    check_equal(window.rect[:2], (100, 100), "top-left corner of the window")

    expected = [(0, b"Fenster mit der hwnd " + str(window.hwnd).encode() + b" erstellt"),
                (0, b"Server auf Port 1234 initalisiert")]
    check_equal(wait_for_log(host, window.hwnd, 2), expected, "log lines after start-up")
    wait_for_port(host, DEFAULT_PORT)

    host.post(window.hwnd, WM_SYSCOMMAND, SC_CLOSE)
    check_equal(relay.wait(EXIT_WAIT), 0, "exit code after closing the window")


@case(timeout=150)
def configured_port_taken_hidden(session):
    """The configured port is taken: the port message with that port, no
    owner and no visible relay window while it is open; after OK the relay
    ends with 0."""
    host = session.host("a", settings(Port=OTHER_PORT))
    host.hold_udp_port(OTHER_PORT)
    relay = host.start_relay()
    box = host.message_box()
    check_port_message(box, OTHER_PORT)
    check_equal(box.window.owner, 0, "owner of the box with debugging off")
    visible_of_relay = [window for window in host.find_windows(visible_only=True)
                        if window.pid == box.window.pid and window.hwnd != box.window.hwnd]
    check_equal(visible_of_relay, [], "visible windows of the relay besides the box")
    check(all(not window.visible for window in host.relay_windows()), "the relay window stays hidden")
    host.press_ok()
    check_equal(relay.wait(EXIT_WAIT), 0, "exit code after OK")


@case(timeout=150)
def configured_port_taken_debugging(session):
    """The configured port is taken with Debugging=1: the box blocks the
    visible main window (its owner, or disabled), the log holds only the
    window line, and after OK the relay ends with 0."""
    host = session.host("a", settings(Port=OTHER_PORT, Debugging=1))
    host.hold_udp_port(OTHER_PORT)
    relay = host.start_relay()
    box = host.message_box()
    check_port_message(box, OTHER_PORT)
    window = host.relay_window()
    check(window.visible, "the window is visible with Debugging=1")
    check(box.window.owner in (0, window.hwnd), "the box is owned by the main window or by no one")
    # The platform disables the owner as the box starts its loop; wait for it.
    wait_until(lambda: not host.window_info(window.hwnd).enabled, 10,
               "the main window to be disabled while the box is open")
    check_equal(host.tree(window.hwnd),
                [(0, b"Fenster mit der hwnd " + str(window.hwnd).encode() + b" erstellt")],
                "log while the port message is open")
    host.press_ok()
    check_equal(relay.wait(EXIT_WAIT), 0, "exit code after OK")


@case(timeout=180)
def port_that_is_not_one(session):
    """A Port that is not a number from 1 to 65535 shows the port message
    with the number the setting gave (a word gives 0), binds nothing, and the
    relay ends with 0 after OK."""
    host = session.host("a")
    for value, shown in ((b"abc", 0), (b"70000", 70000)):
        host.write_settings(b"[UDP Settings]\r\nPort=" + value + b"\r\n")
        relay = host.start_relay()
        check_port_message(host.message_box(), shown)
        check_equal(host.udp_ports(), set(), f"UDP ports bound with Port={value.decode()}")
        host.press_ok()
        check_equal(relay.wait(EXIT_WAIT), 0, f"exit code after OK with Port={value.decode()}")


@case(timeout=180)
def second_instance_ends_first_keeps_running(session):
    """A second relay on the same port shows the port message and ends with
    0; the first keeps its window and port and still ends cleanly later."""
    host = session.host("a")
    first = host.start_relay()
    first_window = host.relay_window()
    wait_for_port(host, DEFAULT_PORT)

    second = host.start_relay()
    box = host.message_box()
    check_port_message(box, DEFAULT_PORT)
    check(box.window.pid != first_window.pid, "the box belongs to the second relay")
    host.press_ok()
    check_equal(second.wait(EXIT_WAIT), 0, "exit code of the second relay")

    check(first.running, "the first relay is still running")
    check_equal([window.hwnd for window in host.relay_windows()], [first_window.hwnd],
                "relay windows after the second ended")
    check(DEFAULT_PORT in host.udp_ports(), "the first relay still holds the port")
    host.post(first_window.hwnd, WM_CLOSE)
    check_equal(first.wait(EXIT_WAIT), 0, "exit code of the first relay")


if __name__ == "__main__":
    raise SystemExit(main())
