#!/usr/bin/env python3
"""scripts/demo's conversation, kept working: the same run as the demo,
with its results checked, and its traffic captured on machine a and read
back through the capture dissector."""

import tools_path  # noqa: F401  (first: makes the tools importable)

import signal
import subprocess
import tempfile
from pathlib import Path

from demo import LOGIN_ACCEPTED, NAME_ID, PORT, TEXT_A, TEXT_B, run_demo
from harness import REPO, case, check, check_equal, main

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
DISSECTOR = REPO / "tools" / "dissector" / "quorvel.lua"


class Capture:
    """dumpcap on every interface of a host's namespace, UDP only."""

    def __init__(self, session, host, path):
        self.path = path
        self.process = subprocess.Popen(
            host.command(["dumpcap", "-q", "-i", "any", "-f", f"udp port {PORT}", "-w", str(path)]),
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        session.on_cleanup(self.stop, f"capture in {host.name}")
        # dumpcap names the interface once it captures.
        started = self.process.stderr.readline()
        check(b"Capturing on" in started, f"dumpcap did not start: {started!r}")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)


def dissected(path):
    """(type name, name number, text bytes) per datagram, as tshark reads them
    with the dissector."""
    result = subprocess.run(
        ["tshark", "-n", "-X", f"lua_script:{DISSECTOR}", "-r", str(path), "-Y", "quorvel", "-T", "fields",
         "-E", "separator=/t", "-e", "quorvel.type_name", "-e", "quorvel.name", "-e", "quorvel.text_bytes"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    check_equal(result.returncode, 0, f"exit code of tshark ({result.stderr.decode(errors='replace')})")
    rows = []
    for line in result.stdout.decode().splitlines():
        type_name, name, text = (line.split("\t") + ["", ""])[:3]
        rows.append((type_name, name, bytes.fromhex(text)))
    return rows


@case(timeout=420)
def conversation_between_two_machines(session):
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        captures = []
        conversations, logs = run_demo(
            session, scratch / "relay-a.png",
            on_linked=lambda a, b: captures.append(Capture(session, a, scratch / "a.pcapng")))
        check_equal((scratch / "relay-a.png").read_bytes()[:8], PNG_SIGNATURE, "the picture is a PNG")
        captures[0].stop()
        datagrams = dissected(captures[0].path)

    check_equal(conversations["a"], [("sent", "A", TEXT_A), ("received", "B", TEXT_B)], "conversation at a")
    check_equal(conversations["b"], [("received", "A", TEXT_A), ("sent", "B", TEXT_B)], "conversation at b")
    for machine in ("a", "b"):
        lines = [text for _, text in logs[machine]]
        check(LOGIN_ACCEPTED in lines, f"relay {machine} logs the partner's accepted login")
        check(TEXT_A in lines and TEXT_B in lines, f"relay {machine} logs both texts")
        check(all(depth in (0, 1) for depth, _ in logs[machine]), f"relay {machine}'s log is a tree of groups")

    # Both logins with their name number, both acceptances, and the two texts
    # byte for byte, as the dissector reads the real traffic.
    logins = [row for row in datagrams if row[0] == "Login"]
    check_equal(logins, [("Login", str(NAME_ID), b"")] * 2, "the logins on the wire")
    check_equal(sum(1 for row in datagrams if row[0] == "LoginOk"), 2, "LoginOk datagrams on the wire")
    check_equal([row[2] for row in datagrams if row[0] == "Text"], [TEXT_A, TEXT_B], "the texts on the wire")


if __name__ == "__main__":
    raise SystemExit(main())
