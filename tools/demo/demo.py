#!/usr/bin/env python3
"""Two machines, two relays, two clients: a conversation from start to end.

Run by scripts/demo, which installs and builds first. It simulates the
machines a and b, each in its own network namespace with its own Wine
prefix, joined by a virtual cable; starts a relay with Debugging=1 on each
and one console client beside it; pairs the clients, logs both in, sends a
text each way; then prints both conversations, both relays' debug logs as
read from their tree controls, and saves a picture of relay a's debug
window. Everything it starts is stopped again, also when a step fails.

    demo.py [--screenshot FILE.png]

Uses the build in QUORVEL_BUILD_DIR (default build/windows-x64). Exit code
0 when the texts arrived as sent.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
from pathlib import Path

# The simulated machines (tools/winehost) beside this tool.
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "winehost"))

import harness  # noqa: E402
from harness import (WM_CLOSE, WM_SYSCOMMAND, CaseTimeout, Interrupted, Session, TestFailure,  # noqa: E402
                     build_dir, check, check_equal, wait_until)

PORT = 1234
NAME_ID = 7
SETTINGS = f"; the relay of the demo\r\n[UDP Settings]\r\nPort={PORT}\r\nDebugging=1\r\n".encode()
LOGIN_ACCEPTED = b"Name gefunden, Login erfolgreich!"
SC_MINIMIZE = 0xF020
# The texts, as Windows-1252 bytes, the way a Windows client hands them over.
TEXT_A = "Hallo B, hier spricht A. Gr\u00fc\u00dfe aus dem Netz a!".encode("cp1252")
TEXT_B = "Hallo A! Antwort von B: alles angekommen.".encode("cp1252")


def say(line=""):
    print(line, flush=True)


class ConsoleClient:
    """qvclient.exe, the console client built on the client SDK."""

    def __init__(self, host, label):
        self.label = label
        self.process = host.start(build_dir() / "qvclient.exe", name=f"qvclient-{label}", interactive=True)
        ready = self.process.read_line(60)
        check(ready.startswith("ready "), f"client {label} started with {ready!r}")

    def expect(self, command, answer, timeout=60):
        got = self.process.ask(command, timeout)
        check_equal(got, answer, f"client {self.label}'s answer to {command.split()[0]!r}")

    def connect(self):
        self.expect("connect 30000", "ok connect", timeout=60)

    def create(self, name_id, partner):
        self.process.send_line(f"create {name_id} {partner}")
        linkup = self.process.read_line(60)
        check(linkup.startswith("linkup "), f"client {self.label}: expected linkup, got {linkup!r}")
        check_equal(self.process.read_line(60), "ok create", f"client {self.label}'s answer to create")
        return int(linkup.split()[1])

    def login(self):
        self.expect("login", "ok login")

    def send(self, text):
        self.expect(f"sendhex {text.hex()}", "ok sendhex")

    def receive(self):
        line = self.process.read_line(60)
        check(line.startswith("text "), f"client {self.label}: expected a text, got {line!r}")
        return bytes.fromhex(line.split(" ", 1)[1] if " " in line else "")

    def finish(self):
        self.process.send_line("exit")


def wait_for_log_line(host, window, text):
    def present():
        return any(line == text for _, line in host.tree(window.hwnd, wait=10) or [])
    wait_until(present, 60, f"{text!r} in the log of the relay on {host.name}")


def print_tree(lines):
    for depth, text in lines:
        say("    " + "  " * depth + text.decode("cp1252"))


def screenshot(session, host, window, path, hide):
    """Saves the relay's window as a PNG: the display cropped to the window.
    The other relay's window stands at the same place and is minimised first."""
    host_of_hidden, hidden = hide
    host_of_hidden.post(hidden.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0)
    wait_until(lambda: (host_of_hidden.window_info(hidden.hwnd) or hidden).rect != hidden.rect, 30,
               "the other relay's window to be minimised")
    left, top, right, bottom = host.window_info(window.hwnd).rect
    path.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["import", "-display", session.display.name, "-window", "root",
                    "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage", str(path)],
                   check=True, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    check(path.is_file() and path.stat().st_size > 0, f"no picture at {path}")


def run_demo(session, screenshot_path, on_linked=None):
    """The whole conversation; returns both conversations as lists of
    (direction, speaker, bytes) and both relays' logs as (depth, bytes).
    `on_linked(a, b)` is called once the machines are joined, before
    anything runs on them."""
    say("Two machines, a and b, each in a network namespace of its own, joined by a virtual cable.")
    a = session.host("a", SETTINGS)
    b = session.host("b", SETTINGS)
    address_a, address_b = a.link(b)
    if on_linked is not None:
        on_linked(a, b)
    say(f"  a = {address_a}, b = {address_b}; both relays on UDP port {PORT}, Debugging=1")

    say("Starting the relays (Quorvel.exe under Wine) ...")
    relay_a = a.start_relay()
    relay_b = b.start_relay()
    window_a = a.relay_window(wait=60)
    window_b = b.relay_window(wait=60)
    for host in (a, b):
        wait_until(lambda host=host: PORT in host.udp_ports(), 60, f"the relay on {host.name} to bind port {PORT}")

    say("Starting one client on each machine (qvclient.exe) ...")
    client_a = ConsoleClient(a, "A")
    client_b = ConsoleClient(b, "B")
    client_a.connect()
    client_b.connect()

    say(f"Pairing them: name number {NAME_ID}, A with b at {address_b}, B with a at {address_a}")
    check_equal(client_a.create(NAME_ID, address_b), window_a.pid, "relay a's process id in A's link-up")
    check_equal(client_b.create(NAME_ID, address_a), window_b.pid, "relay b's process id in B's link-up")

    say("Logging in: A at relay b, then B at relay a")
    client_a.login()
    wait_for_log_line(b, window_b, LOGIN_ACCEPTED)
    client_b.login()
    wait_for_log_line(a, window_a, LOGIN_ACCEPTED)

    say("Sending a text each way")
    client_a.send(TEXT_A)
    received_by_b = client_b.receive()
    client_b.send(TEXT_B)
    received_by_a = client_a.receive()
    conversations = {"a": [("sent", "A", TEXT_A), ("received", "B", received_by_a)],
                     "b": [("received", "A", received_by_b), ("sent", "B", TEXT_B)]}
    for machine, own in (("a", "A"), ("b", "B")):
        say()
        say(f"== Conversation as client {own} on {machine} sees it")
        for direction, speaker, text in conversations[machine]:
            say(f"  {direction:8} {speaker}: {text.decode('cp1252')}")
    check_equal(received_by_b, TEXT_A, "the text B received")
    check_equal(received_by_a, TEXT_B, "the text A received")

    logs = {}
    for host, window in ((a, window_a), (b, window_b)):
        logs[host.name] = host.tree(window.hwnd, wait=10) or []
        say()
        say(f"== Debug log of the relay on {host.name} (its tree control, as shown)")
        print_tree(logs[host.name])

    screenshot(session, a, window_a, screenshot_path, hide=(b, window_b))
    say()
    say(f"== Picture of relay a's debug window: {screenshot_path}")

    say()
    say("Ending: clients first, then both relays are closed")
    for client in (client_a, client_b):
        client.finish()
    for host, window, relay in ((a, window_a, relay_a), (b, window_b, relay_b)):
        host.post(window.hwnd, WM_CLOSE)
        check_equal(relay.wait(60), 0, f"exit code of the relay on {host.name}")
    return conversations, logs


def cannot_run_reason():
    """Why the demo cannot run here, in one line; None when it can."""
    if os.geteuid() != 0:
        return "it needs root to make network namespaces (run it as root, or with sudo)"
    for tool in ("ip", "Xvfb", "import", harness.WINE):
        if shutil.which(tool) is None:
            return f"{tool} is missing (scripts/setup installs it)"
    for exe in ("Quorvel.exe", "qvclient.exe", "qvtest.exe"):
        if not (build_dir() / exe).is_file():
            return f"there is no {exe} in {build_dir()} (build the windows-x64 preset first)"
    probe = f"qvdemo{os.getpid()}"
    made = subprocess.run(["ip", "netns", "add", probe], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if made.returncode != 0:
        reason = made.stderr.decode(errors="replace").strip().splitlines()
        return "this machine does not allow network namespaces" + (f" ({reason[-1]})" if reason else "")
    subprocess.run(["ip", "netns", "delete", probe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--screenshot", type=Path, default=build_dir() / "demo" / "relay-a-debug-window.png",
                        help="where the picture of relay a's debug window goes")
    arguments = parser.parse_args()
    reason = cannot_run_reason()
    if reason:
        print(f"demo: cannot run here: {reason}", file=sys.stderr)
        return 1

    harness.sweep_leftovers()
    # Bounded as a whole; the alarm ends it with everything cleaned up.
    signal.alarm(600)
    session = None
    try:
        say("Preparing the Wine prefix (the first time takes a minute or two) ...")
        with Session() as session:
            try:
                run_demo(session, arguments.screenshot.resolve())
            except BaseException:
                session.report()
                raise
        say("Demo finished: both texts arrived as sent; everything started has been stopped.")
        return 0
    except (TestFailure, CaseTimeout, Interrupted, subprocess.SubprocessError, OSError, RuntimeError) as failure:
        print(f"demo failed: {failure}", file=sys.stderr)
        return 1
    finally:
        signal.alarm(0)


if __name__ == "__main__":
    raise SystemExit(main())
