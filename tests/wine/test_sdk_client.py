#!/usr/bin/env python3
"""The console client qvclient.exe, built on the client SDK, against real
relays under Wine: linking, logging in, texts both ways up to the largest
that fits one datagram, a text too long refused, quitting, and a missing
relay reported."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main, wait_until
from sdk_programs import (INPUT_EDIT, SEND_BUTTON, ChatWindow, ConsoleClient,
                          LOGIN_ACCEPTED, settings, start_relay, two_machines, wait_for_accepted_logins,
                          wait_for_log_line)

LONGEST_TEXT = 65506


def pattern(length):
    return bytes((i * 31 + 7) % 256 for i in range(length))


@case(timeout=360)
def texts_between_two_machines(session):
    """One console client at each of two relays in two namespaces: both link
    and log in; texts go both ways byte for byte, the longest that fits one
    datagram among them; a text one byte longer is refused with a clear
    error and nothing of it arrives; quit ends relay A, after which A's
    client reports the missing relay."""
    a, b, address_a, address_b, (relay_a, window_a), (_, window_b) = two_machines(session)

    client_a = ConsoleClient(a, "client-a")
    client_b = ConsoleClient(b, "client-b")
    client_a.connect()
    client_b.connect()
    check_equal(client_a.create(-17, address_b), window_a.pid, "relay process id in A's link-up")
    check_equal(client_b.create(-17, address_a), window_b.pid, "relay process id in B's link-up")
    client_a.command_ok("login")
    wait_for_log_line(b, window_b, LOGIN_ACCEPTED)
    client_b.command_ok("login")
    wait_for_log_line(a, window_a, LOGIN_ACCEPTED)

    client_a.command_ok("send Hallo B, mit Leerzeichen")
    client_b.expect_text(b"Hallo B, mit Leerzeichen", "a plain line")
    special = b"\x00Null, Umlaute \xe4\xf6\xfc\xdf, Zeilen\r\nEnde\x1a"
    client_a.command_ok("sendhex " + special.hex())
    client_b.expect_text(special, "any byte values")
    client_a.command_ok("sendhex ")
    client_b.expect_text(b"", "an empty text")

    longest = pattern(LONGEST_TEXT)
    client_a.command_ok("sendhex " + longest.hex(), timeout=60)
    client_b.expect_text(longest, "the longest text", timeout=60)

    sentence = client_a.expect_error("sendhex " + pattern(LONGEST_TEXT + 1).hex(), "text-too-long")
    check("65506" in sentence and "datagram" in sentence, f"the refusal says why: {sentence!r}")
    client_a.command_ok("send danach")
    client_b.expect_text(b"danach", "the text after the refused one (nothing came in between)")

    back = b"Gr\xfc\xdfe zur\xfcck"
    client_b.command_ok("sendhex " + back.hex())
    client_a.expect_text(back, "B to A")

    client_a.command_ok("quit")
    check_equal(relay_a.wait(30), 0, "exit code of relay A after quit")
    client_a.expect_error("send noch da?", "no-relay")
    client_b.command_ok("send ins Leere")


@case(timeout=480)
def programs_on_one_machine_each_reach_their_own_partner(session):
    """Two console clients (one with a hidden window, one with a
    message-only window) and a chat window on machine A, each paired under a
    name number of its own with a console client on machine B: each
    program's commands are its own, and every text, both ways, reaches the
    program it was meant for and no other."""
    a, b, address_a, address_b, (_, window_a), (_, window_b) = two_machines(session)

    hidden = ConsoleClient(a, "a-hidden")
    message_only = ConsoleClient(a, "a-message-only", "--message-only")
    chat = ChatWindow(a)
    partners = {name: ConsoleClient(b, f"b-{name}") for name in (21, 22, 23)}
    for client, name in ((hidden, 21), (message_only, 22)):
        client.connect()
        check_equal(client.create(name, address_b), window_a.pid, f"{client.name}'s link-up")
    chat.pair(address_b, 23)
    for name, partner in partners.items():
        partner.connect()
        check_equal(partner.create(name, address_a), window_b.pid, f"{partner.name}'s link-up")
        partner.command_ok("login")
    wait_for_accepted_logins(a, window_a, 3)
    hidden.command_ok("login")
    message_only.command_ok("login")
    wait_for_accepted_logins(b, window_b, 2)

    # All of A's texts go out before any partner looks: a text that reached
    # the wrong partner is then read where the right one is expected.
    hidden.command_ok("send an 21")
    message_only.command_ok("send an 22")
    chat.type(INPUT_EDIT, b"an 23")
    chat.click(SEND_BUTTON)
    for name, partner in partners.items():
        partner.expect_text(f"an {name}".encode(), "the text of its own partner")
    for name, partner in partners.items():
        partner.command_ok(f"send von {name}")
    hidden.expect_text(b"von 21", "the text of its own partner")
    message_only.expect_text(b"von 22", "the text of its own partner")
    wait_until(lambda: chat.conversation() == b"Ich: an 23\r\nPartner: von 23\r\n", 30,
               "the chat's conversation")

    # Nothing else arrived anywhere: the next line of each is its goodbye.
    for client in (hidden, message_only, *partners.values()):
        client.say("exit")
        client.expect("bye", "no further text before leaving")


@case(timeout=240)
def missing_relay_is_reported(session):
    """Without a relay every command is answered with a clear no-relay error;
    once the relay runs the same client connects and links."""
    host = session.host("a", settings(debugging=0))
    client = ConsoleClient(host, "client")
    for command in ("connect", "create 5 127.0.0.1", "login", "send hallo", "quit"):
        sentence = client.expect_error(command, "no-relay")
        check("Quorvel.exe" in sentence, f"the error names the missing window: {sentence!r}")
    client.expect_error("create x 127.0.0.1", "usage")
    client.expect_error("sendhex 0g", "usage")

    _, window = start_relay(host)
    client.connect()
    check_equal(client.create(5, "127.0.0.1"), window.pid, "relay process id in the link-up")
    client.command_ok("login")
    client.say("exit")
    client.expect("bye", "leaving")
    check_equal(client.process.wait(30), 0, "exit code of the client")


@case(timeout=240)
def notifications_are_checked_before_they_are_believed(session):
    """A link-up that names another process than the relay's is ignored, and
    a text announcement with a length no datagram can have, or an address
    that cannot be read, is reported as lost; the real link and its texts
    work on unchanged (a client linked to its own relay)."""
    host = session.host("a", settings())
    _, window = start_relay(host)
    client = ConsoleClient(host, "client")

    check_equal(host.send(client.window, 1026, 0x10000, 3), 1, "answer to a text before any link-up")
    client.expect("lost 3", "a text announced before any link-up")
    client.connect()
    check_equal(client.create(9, "127.0.0.1"), window.pid, "relay process id in the link-up")
    client.command_ok("login")
    wait_for_log_line(host, window, LOGIN_ACCEPTED)

    check_equal(host.send(client.window, 1025, 0, window.pid + 4), 1, "answer to a forged link-up")
    check_equal(host.send(client.window, 1026, 0x10000, -1), 1, "answer to a negative length")
    client.expect("lost 0", "a negative length")
    check_equal(host.send(client.window, 1026, 0x10000, LONGEST_TEXT + 1), 1, "answer to an overlong text")
    client.expect("lost 0", "a length beyond one datagram")
    check_equal(host.send(client.window, 1026, 16, 4), 1, "answer to an unreadable address")
    client.expect("lost 4", "an unreadable address")

    client.command_ok("send an mich selbst")
    client.expect_text(b"an mich selbst", "the text through the real link")


if __name__ == "__main__":
    raise SystemExit(main())
