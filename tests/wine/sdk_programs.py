"""The client programs built on the SDK (qvclient.exe, QuorvelChat.exe),
started in a harness host and driven the way their users do."""

import re

from harness import build_dir, check, check_equal, wait_until

PORT = 1234


def settings(debugging=1):
    return f"[UDP Settings]\r\nPort={PORT}\r\nDebugging={debugging}\r\n".encode()


def start_relay(host):
    """Starts the host's relay and waits until its window exists and its
    port is bound."""
    relay = host.start_relay()
    window = host.relay_window()
    wait_until(lambda: PORT in host.udp_ports(), 30, f"UDP port {PORT} to be bound")
    return relay, window


def two_machines(session, debugging=1):
    """Machines a and b in network namespaces of their own, linked, each
    with its relay running. Returns a, b, their addresses, and the relay
    process and window of each: (a, b, address_a, address_b, (relay_a,
    window_a), (relay_b, window_b))."""
    a = session.host("a", settings(debugging))
    b = session.host("b", settings(debugging))
    address_a, address_b = a.link(b)
    return a, b, address_a, address_b, start_relay(a), start_relay(b)


def wait_for_log_line(host, window, text):
    def present():
        return any(line == text for _, line in host.tree(window.hwnd, wait=10) or [])
    wait_until(present, 30, f"log line {text!r}")


LOGIN_ACCEPTED = b"Name gefunden, Login erfolgreich!"


def wait_for_accepted_logins(host, window, count):
    def accepted():
        return sum(line == LOGIN_ACCEPTED for _, line in host.tree(window.hwnd, wait=10) or []) >= count
    wait_until(accepted, 60, f"{count} accepted logins")


QVCLIENT_EXE = "qvclient.exe"
CHAT_EXE = "QuorvelChat.exe"


class ConsoleClient:
    """qvclient.exe in a host: commands on its standard input, events read
    line by line from its standard output."""

    def __init__(self, host, name, *args, exe=None):
        """`exe`: another qvclient.exe than this build's, say a 32-bit one."""
        self.name = name
        self.process = host.start(exe or build_dir() / QVCLIENT_EXE, *args, name=name, interactive=True)
        ready = self.process.read_line(60)
        check(ready.startswith("ready "), f"{name}: expected the ready line, got {ready!r}")
        self.window = int(ready.split()[1])

    def line(self, timeout=30):
        return self.process.read_line(timeout)

    def say(self, command):
        self.process.send_line(command)

    def expect(self, line, what, timeout=30):
        check_equal(self.line(timeout), line, f"{self.name}: {what}")

    def command_ok(self, command, verb=None, timeout=30):
        self.say(command)
        self.expect(f"ok {verb or command.split()[0]}", f"outcome of {command[:40]!r}", timeout)

    def connect(self, wait_ms=30000):
        self.command_ok(f"connect {wait_ms}", timeout=wait_ms / 1000 + 30)

    def create(self, name_id, host_text):
        """A create command; returns the relay's process id from the link-up,
        which comes before the command's outcome."""
        self.say(f"create {name_id} {host_text}")
        linkup = self.line()
        check(linkup.startswith("linkup "), f"{self.name}: expected the link-up, got {linkup!r}")
        self.expect("ok create", "outcome of the create command")
        return int(linkup.split()[1])

    def expect_text(self, data, what, timeout=30):
        got = self.line(timeout)
        check(got.startswith("text "), f"{self.name}: expected a text ({what}), got {got[:80]!r}")
        check_equal(bytes.fromhex(got[5:]), data, f"{self.name}: text received ({what})")

    def expect_error(self, command, reason):
        """Gives a command that must fail; returns the error's sentence."""
        self.say(command)
        got = self.line()
        verb = command.split()[0]
        prefix = f"error {verb} {reason} "
        check(got.startswith(prefix), f"{self.name}: {command[:40]!r} should fail with {reason}, got {got[:120]!r}")
        return got[len(prefix):]


# Control identifiers of the chat window (clients/chat/chat_window.h).
HOST_EDIT = 101
NAME_EDIT = 102
CONNECT_BUTTON = 103
CONVERSATION = 104
INPUT_EDIT = 105
SEND_BUTTON = 106
STATUS_TEXT = 107
WM_CLOSE = 0x0010


class ChatWindow:
    """QuorvelChat.exe in a host, driven through its controls with window
    messages by the helper, as a person would type and click."""

    def __init__(self, host):
        self.host = host
        self.process = host.start(build_dir() / CHAT_EXE, name="QuorvelChat")
        windows = host.find_windows(class_name="QuorvelChat", wait=60)
        check_equal(len(windows), 1, "number of chat windows")
        self.hwnd = windows[0].hwnd

    def close(self):
        """Closes the window as its user would; the program ends."""
        self.host.send(self.hwnd, WM_CLOSE)
        check_equal(self.process.wait(30), 0, "exit code of the chat")

    def text(self, control, utf8=False):
        result = self.host.helper("gettext", self.hwnd, "--id", control, *(["--utf8"] if utf8 else []))
        check_equal(result.returncode, 0, f"exit code of qvtest gettext for control {control}")
        return result.stdout

    def _set(self, control, data, *options):
        # A long text goes through a file: a command line holds 32767 characters.
        if len(data) > 4000:
            (self.host.work / "settext.bin").write_bytes(data)
            text = ["--file", "settext.bin"]
        else:
            text = [data.hex()]
        return self.host.helper("settext", self.hwnd, *text, "--id", control, *options, timeout=120)

    def type(self, control, data, utf8=False):
        """Sets the control's text: Windows-1252 bytes, or UTF-8 ones sent as
        Unicode."""
        result = self._set(control, data, *(["--utf8"] if utf8 else []))
        check_equal(result.stdout.strip(), b"result=1", f"setting the text of control {control}")

    def paste(self, control, data):
        """Puts Windows-1252 bytes in place of the selection, as a paste does."""
        result = self._set(control, data, "--paste")
        check_equal(result.returncode, 0, f"exit code of qvtest settext --paste for control {control}")

    def click(self, control):
        result = self.host.helper("click", self.hwnd, "--id", control)
        check_equal(result.returncode, 0, f"exit code of qvtest click for control {control}")

    def pair(self, host_text, name):
        """Enters the partner's host and name number and presses "Verbinden"."""
        self.type(HOST_EDIT, host_text.encode())
        self.type(NAME_EDIT, str(name).encode())
        self.click(CONNECT_BUTTON)

    def status(self):
        return self.text(STATUS_TEXT)

    def conversation(self):
        """The conversation with the local time taken off the front of each
        entry; every entry must begin with one."""
        shown = self.text(CONVERSATION)
        stripped, stamps = re.subn(rb"(^|\r\n)(?:[01]\d|2[0-3]):[0-5]\d:[0-5]\d (?=(?:Ich|Partner): )", rb"\1", shown)
        entries = len(re.findall(rb"(?:^|\r\n)(?:Ich|Partner): ", stripped))
        check_equal(stamps, entries, f"entries that begin with the time of day in {shown[:200]!r}")
        return stripped
