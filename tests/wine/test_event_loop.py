#!/usr/bin/env python3
"""When the relay's main loop takes a datagram, run for real under Wine. The
loop sleeps until a window message or a datagram is there; an error box runs
a message loop of its own, which must deliver the clients' messages but take
no datagram (the peer protocol's handlers are not made to nest inside a box)."""

import tools_path  # noqa: F401  (first: makes the tools importable)

import subprocess
import sys
import time

import harness
import load_run
from harness import case, check, check_equal, main, wait_until

PORT = 4150

# A stranger in the relay's namespace: sends a Login for a name nobody has,
# then prints the relay's reply as hex as soon as one comes.
STRANGER = f"""
import socket, sys
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 0))
sock.settimeout(120)
print("ready", flush=True)
sys.stdin.readline()
sock.sendto(bytes([1, 9, 9, 9, 9]), ("127.0.0.1", {PORT}))
print("sent", flush=True)
print("reply " + sock.recv(64).hex(), flush=True)
"""


@case(timeout=180)
def a_datagram_waits_for_the_error_box_and_is_taken_after_it(session):
    """A create command with a host that cannot be found opens the error
    box; a stranger's login that arrives meanwhile stays in the socket queue
    while the box is open, and is refused as soon as the operator closes it."""
    host = session.host("relay", load_run.settings(PORT))
    relay = host.start_relay()
    host.relay_window()
    wait_until(lambda: PORT in host.udp_ports(), 30, f"UDP port {PORT} to be bound")
    client = load_run.LoadClient(host, "client")
    client.register()

    client.process.send_line("create 5 no-such-host.invalid")
    check_equal(host.message_box(wait=60).window.title, b"Error", "caption of the box")
    stranger = subprocess.Popen(host.command([sys.executable, "-c", STRANGER]), stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, preexec_fn=harness._die_with_parent)
    session.on_cleanup(lambda: harness._kill_process(stranger), "stranger")
    check_equal(stranger.stdout.readline().strip(), b"ready", "the stranger's first line")
    stranger.stdin.write(b"go\n")
    stranger.stdin.flush()
    check_equal(stranger.stdout.readline().strip(), b"sent", "the stranger's second line")
    wait_until(lambda: load_run.queued_bytes(host, PORT) > 0, 10, "the login to wait in the relay's socket")
    time.sleep(1)
    check(load_run.queued_bytes(host, PORT) > 0, "the login still waits while the box is open")

    host.press_ok()
    check_equal(stranger.stdout.readline().strip(), b"reply 03", "the stranger's reply after the box")
    check(client.process.read_line(60).startswith("linkup "), "the create command goes on after the box")
    check(relay.running, "the relay runs on")


if __name__ == "__main__":
    raise SystemExit(main())
