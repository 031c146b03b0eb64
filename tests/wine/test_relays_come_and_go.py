#!/usr/bin/env python3
"""Relays that come and go: clients built on the SDK follow a restarted
relay by themselves, and a conversation goes on across a restart."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main
from sdk_programs import ConsoleClient, settings, start_relay


def expect_linkup(client, relay_pid, what, timeout=60):
    check_equal(client.line(timeout), f"linkup {relay_pid}", f"{client.name}: {what}")


@case(timeout=300)
def clients_follow_a_restarted_relay(session):
    """A client with a hidden top-level window pairs again as soon as the new
    relay announces its start, without a command; a client with a
    message-only window, which broadcasts do not reach, pairs again before
    its next command, which then goes to the new relay."""
    a = session.host("a", settings())
    relay, window = start_relay(a)
    top_level = ConsoleClient(a, "top-level")
    message_only = ConsoleClient(a, "message-only", "--message-only")
    for client in (top_level, message_only):
        client.connect()
        check_equal(client.create(7, "127.0.0.2"), window.pid, f"{client.name}: the first relay's link-up")
        client.command_ok("login")

    relay.kill()
    relay, window = start_relay(a)

    expect_linkup(top_level, window.pid, "paired again on the start message")
    message_only.say("send nach dem Neustart")
    expect_linkup(message_only, window.pid, "paired again before the command")
    message_only.expect("ok send", "the command after the restart")

    lines = [text for _, text in a.tree(window.hwnd, wait=10)]
    check_equal(lines.count(b"Exe/Dll-Fenster Komunikation aufgebaut"), 2, "creates at the new relay")
    check_equal(lines.count(b"Login wird gesendet"), 2, "logins at the new relay")
    check(b"nach dem Neustart" in lines, "the text went to the new relay")


if __name__ == "__main__":
    raise SystemExit(main())
