#!/usr/bin/env python3
"""Relays that come and go: clients built on the SDK follow a restarted
relay by themselves, and a conversation goes on across a restart."""

import time

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main, wait_until
from sdk_programs import (CONVERSATION, INPUT_EDIT, SEND_BUTTON, ChatWindow,
                          ConsoleClient, settings, start_relay, two_machines, wait_for_log_line)

LOGIN_ACCEPTED = b"Name gefunden, Login erfolgreich!"


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


def lines_until(client, wanted, timeout=60):
    """Reads the client's events until each line of `wanted` has come;
    returns every line read, in order."""
    missing = list(wanted)
    got = []
    deadline = time.monotonic() + timeout
    while missing:
        line = client.line(max(1.0, deadline - time.monotonic()))
        got.append(line)
        if line in missing:
            missing.remove(line)
    return got


def paired_conversation(session, log_in=True):
    """Machines a and b with their relays, a console client on each, paired
    with name number 7 and (with `log_in`) logged in both ways. Returns the
    hosts, their relays as (process, window), and the two clients."""
    a, b, address_a, address_b, relay_a, relay_b = two_machines(session)
    client_a = ConsoleClient(a, "client-a")
    client_b = ConsoleClient(b, "client-b")
    client_a.connect()
    client_a.create(7, address_b)
    client_b.connect()
    client_b.create(7, address_a)
    if log_in:
        client_a.command_ok("login")
        wait_for_log_line(b, relay_b[1], LOGIN_ACCEPTED)
        client_b.command_ok("login")
        wait_for_log_line(a, relay_a[1], LOGIN_ACCEPTED)
    return (a, b), (relay_a, relay_b), (client_a, client_b, address_a, address_b)


def texts_both_ways(client_a, client_b, word):
    client_a.command_ok(f"send {word} von A")
    client_b.expect_text(f"{word} von A".encode(), f"A to B, {word}")
    client_b.command_ok(f"send {word} von B")
    client_a.expect_text(f"{word} von B".encode(), f"B to A, {word}")


def restart_one_relay(session, side):
    hosts, relays, clients = paired_conversation(session)
    texts_both_ways(clients[0], clients[1], "vorher")
    relays[side][0].kill()
    _, window = start_relay(hosts[side])
    expect_linkup(clients[side], window.pid, "paired again on the new relay's start message")
    texts_both_ways(clients[0], clients[1], "nachher")


@case(timeout=300)
def relay_b_restarts(session):
    """Relay b restarts: B's client pairs again by itself, relay a takes B's
    login from the new port and logs in back, and texts flow both ways with
    no key pressed on either side."""
    restart_one_relay(session, 1)


@case(timeout=300)
def relay_a_restarts(session):
    """The same with relay a restarting."""
    restart_one_relay(session, 0)


@case(timeout=300)
def texts_before_the_partner_pairs_wait_and_are_reported(session):
    """A, asking for reports, sends three texts before B has made its
    pairing: relay b refuses them, relay a sends each once more and then
    keeps them; A hears "waiting". B pairs and logs in: the three reach B
    in order, and A hears "sent later" for each."""
    a, b, address_a, address_b, relay_a, relay_b = two_machines(session)
    client_a = ConsoleClient(a, "client-a")
    client_a.connect()
    client_a.create(7, address_b)
    client_a.command_ok("reports on")
    client_a.command_ok("login")
    for word in ("eins", "zwei", "drei"):
        client_a.say(f"send {word}")
    # A text sent once more may be refused after a later one: the reports
    # come as it happens, the texts wait in their order all the same.
    lines_until(client_a, ["ok send"] * 3 + [f"report waiting {n}" for n in (1, 2, 3)])

    client_b = ConsoleClient(b, "client-b")
    client_b.connect()
    client_b.create(7, address_a)
    client_b.command_ok("login")
    for word in ("eins", "zwei", "drei"):
        client_b.expect_text(word.encode(), "the texts that waited, in order")
    check_equal(lines_until(client_a, [f"report sent-later {n}" for n in (1, 2, 3)]),
                [f"report sent-later {n}" for n in (1, 2, 3)], "A's reports, in order")


@case(timeout=300)
def texts_while_the_partners_relay_is_down_reach_it_after_its_start(session):
    """Relay b is down while A sends three texts. Under Wine the first
    "port unreachable" a socket gets is not reported, so relay a learns
    that the port is closed from the second text; the texts of the two
    seconds before then wait too. Relay b starts, B pairs again by itself,
    and all three texts reach B in order."""
    hosts, relays, (client_a, client_b, _, _) = paired_conversation(session)
    relays[1][0].kill()
    for word in ("eins", "zwei", "drei"):
        client_a.command_ok(f"send {word}")
    _, window = start_relay(hosts[1])
    expect_linkup(client_b, window.pid, "paired again on the new relay's start message")
    for word in ("eins", "zwei", "drei"):
        client_b.expect_text(word.encode(), "the texts sent while relay b was down, in order")
    lines = [text for _, text in hosts[0].tree(relays[0][1].hwnd, wait=10)]
    check(b"Der Port des Partners ist geschlossen" in lines, "relay a saw the closed port")


@case(timeout=300)
def the_chat_marks_a_line_that_waits_and_is_sent_later(session):
    """The chat sends before its partner has paired: its line is marked as
    waiting; once the partner pairs and logs in, the text reaches it and the
    line is marked as sent later."""
    a, b, address_a, address_b, _, _ = two_machines(session)
    chat = ChatWindow(a)
    chat.pair(address_b, 7)
    chat.type(INPUT_EDIT, b"Hallo")
    chat.click(SEND_BUTTON)
    wait_until(lambda: b'Ich: Hallo" wartet auf den Partner' in chat.text(CONVERSATION), 30, "the waiting mark")

    partner = ConsoleClient(b, "partner")
    partner.connect()
    partner.create(7, address_a)
    partner.command_ok("login")
    partner.expect_text(b"Hallo", "the text that waited")
    wait_until(lambda: b'Ich: Hallo" wurde sp\xe4ter gesendet' in chat.text(CONVERSATION), 30, "the sent-later mark")


if __name__ == "__main__":
    raise SystemExit(main())
