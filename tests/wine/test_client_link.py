#!/usr/bin/env python3
"""The local client link of Quorvel.exe, run for real under Wine: client
programs registering with their relay, creating links, logging in, and text
travelling from a client through both relays to the partner's client."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main, pe_width, program_exe, wait_until

PORT = 1234
NOT_HANDLED_ANSWER = 0  # what the default window procedure answers for 1026
EXIT_WAIT = 30


def settings(debugging=1, port=PORT):
    return f"[UDP Settings]\r\nPort={port}\r\nDebugging={debugging}\r\n".encode()


class Client:
    """The test client program (programs/rawclient.cpp) in a host, driven
    through its stdin and stdout."""

    def __init__(self, host, name):
        self.name = name
        self.process = host.start_program("rawclient", interactive=True)

    def say(self, line):
        self.process.send_line(line)

    def line(self, timeout=30):
        """The next line the client wrote; fails when none comes in time."""
        return self.process.read_line(timeout)

    def ask(self, command, timeout=30):
        """Gives a command and returns its answer line."""
        return self.process.ask(command, timeout)

    def result(self, command, timeout=30):
        answer = self.ask(command, timeout)
        check(answer.startswith("result "), f"{command!r}: unexpected answer {answer!r}")
        return int(answer.split()[1])

    def find_relay(self):
        answer = self.ask("find 30000", timeout=45)
        check(answer != "relay 0", f"client {self.name} found no relay window")
        return int(answer.split()[1])

    def register(self):
        self.find_relay()
        check_equal(self.result("announce"), 1, f"answer to {self.name}'s announcement")

    def create(self, name_id, host_text):
        """A create command; returns the relay's process id from the link-up
        notification, which comes before the command's answer."""
        self.say(f"create {name_id} {host_text}")
        linkup = self.line()
        check(linkup.startswith("linkup "), f"expected the link-up notification, got {linkup!r}")
        _, relay_pid, wparam = linkup.split()
        check_equal(wparam, "0", "wParam of the link-up notification")
        answer = self.line()
        check_equal(answer, "result 1", f"answer to {self.name}'s create command")
        return int(relay_pid)

    def hwnd(self):
        answer = self.ask("hwnd")
        check(answer.startswith("hwnd "), f"expected the window handle, got {answer!r}")
        return int(answer.split()[1])

    def expect_data(self, hex_bytes, timeout=30):
        check_equal(self.line(timeout), f"data {hex_bytes}", f"text delivered to {self.name}")


def wait_for_relay(host):
    """The relay's window once its server port is bound."""
    window = host.relay_window()
    wait_until(lambda: PORT in host.udp_ports(), 30, f"UDP port {PORT} to be bound")
    return window


def wait_for_log_line(host, window, text, count=1):
    def present():
        lines = host.tree(window.hwnd, wait=10) or []
        return sum(1 for _, line in lines if line == text) >= count
    wait_until(present, 30, f"log line {text!r}")


LOGIN_ACCEPTED = b"Name gefunden, Login erfolgreich!"
NOTIFICATION_LIMIT = 5  # seconds the relay waits for a client window to answer


def hex_of(data):
    return data.hex()


@case(timeout=300)
def text_between_two_machines(session):
    """Two relays on the same port in two network namespaces, one client at
    each: both create their links and log in, text goes A to B byte for byte
    (with a zero byte, empty, longer than the receive buffer) and back; Quit
    ends relay A with exit code 0 and no answer, and relay B runs on."""
    a = session.host("a", settings())
    b = session.host("b", settings())
    address_a, address_b = a.link(b, "10.77.61")
    relay_a = a.start_relay()
    relay_b = b.start_relay()
    window_a = wait_for_relay(a)
    window_b = wait_for_relay(b)

    client_a = Client(a, "client-a")
    client_b = Client(b, "client-b")
    client_a.register()
    client_b.register()
    check_equal(client_a.create(31, address_b), window_a.pid, "relay process id in A's link-up")
    check_equal(client_b.create(31, address_a), window_b.pid, "relay process id in B's link-up")

    check_equal(client_a.result("login"), 1, "answer to A's login")
    wait_for_log_line(b, window_b, LOGIN_ACCEPTED)
    check_equal(client_b.result("login"), 1, "answer to B's login")
    wait_for_log_line(a, window_a, LOGIN_ACCEPTED)

    texts = [b"Hallo B\x00mit Null und \xe4\xf6\xfc", b"", bytes(range(256)) * 4]
    for text in texts:
        check_equal(client_a.result("text " + hex_of(text)), 1, "answer to A's text")
        client_b.expect_data(hex_of(text))
    back = b"Gr\xfc\xdfe zur\xfcck\x00!"
    check_equal(client_b.result("text " + hex_of(back)), 1, "answer to B's text")
    client_a.expect_data(hex_of(back))

    client_a.say("quit")
    answer = client_a.line(timeout=EXIT_WAIT)
    check(answer.startswith("result 0 "), f"the quit command gets no answer, but {answer!r}")
    check_equal(relay_a.wait(EXIT_WAIT), 0, "exit code of relay A after Quit")
    check_equal(a.relay_windows(), [], "relay A's window after Quit")
    check(relay_b.running, "relay B runs on")
    # B's text now goes nowhere, and B's relay still answers its client.
    check_equal(client_b.result("text 6f6b"), 1, "answer to B's text after A quit")


def two_machines(session, subnet):
    """Relays on two linked machines a and b: the hosts, their addresses and
    the relays' windows."""
    a = session.host("a", settings())
    b = session.host("b", settings())
    address_a, address_b = a.link(b, subnet)
    a.start_relay()
    b.start_relay()
    return a, b, address_a, address_b, wait_for_relay(a), wait_for_relay(b)


def pair(client, partner, name_id, address, partner_address):
    """Both sides create their links with the name number and log in."""
    client.create(name_id, partner_address)
    partner.create(name_id, address)
    check_equal(client.result("login"), 1, f"answer to {client.name}'s login")
    check_equal(partner.result("login"), 1, f"answer to {partner.name}'s login")


@case(timeout=300)
def hung_client_window(session):
    """A client window that stops answering in the middle of a text holds
    the relay up for no more than the limit: meanwhile the relay carries
    another client's texts both ways, and the stalled window, when it goes
    on, still reads its own text unchanged although later datagrams of the
    same length have come in."""
    a, b, address_a, address_b, window_a, window_b = two_machines(session, "10.77.62")

    stalled, other = Client(a, "stalled"), Client(a, "other")
    partner_of_stalled, partner_of_other = Client(b, "partner-of-stalled"), Client(b, "partner-of-other")
    for client in (stalled, other, partner_of_stalled, partner_of_other):
        client.register()
    pair(stalled, partner_of_stalled, 41, address_a, address_b)
    pair(other, partner_of_other, 42, address_a, address_b)
    wait_for_log_line(a, window_a, LOGIN_ACCEPTED, count=2)
    wait_for_log_line(b, window_b, LOGIN_ACCEPTED, count=2)

    stall_seconds = 2 * NOTIFICATION_LIMIT
    check_equal(stalled.ask(f"stall {stall_seconds * 1000}"), f"stalling {stall_seconds * 1000}", "stall")
    first = b"erster Text"
    check_equal(partner_of_stalled.result("text " + hex_of(first)), 1, "answer to the stalled one's text")
    # While the stalled window holds the text, both ways go on for the other.
    check_equal(other.result("text " + hex_of(b"hin")), 1, "answer to the other client's text")
    partner_of_other.expect_data(hex_of(b"hin"))
    later = b"zweiter Text"[:len(first)]
    check_equal(partner_of_other.result("text " + hex_of(later)), 1, "answer to the partner's text")
    other.expect_data(hex_of(later), timeout=stall_seconds)

    stalled.expect_data(hex_of(first), timeout=3 * stall_seconds)
    wait_for_log_line(a, window_a, f"Das Fenster {stalled.hwnd()} hat nicht rechtzeitig geantwortet".encode())
    # Answering again, the window gets its next text as before.
    check_equal(partner_of_stalled.result("text " + hex_of(b"weiter")), 1, "answer to the next text")
    stalled.expect_data(hex_of(b"weiter"))


@case(timeout=180)
def unresolvable_host(session):
    """A create command with a host name that cannot be resolved: the box
    names the host, and after OK the client still gets its link-up
    notification and the command its answer."""
    host = session.host("a", settings(debugging=0))
    relay = host.start_relay()
    window = wait_for_relay(host)
    client = Client(host, "client")
    client.register()

    client.say("create 5 no-such-host.invalid")
    box = host.message_box()
    check_equal(box.text, b"Die Angegebene IP (no-such-host.invalid) kann nicht gefunden werden.", "box text")
    check_equal(box.window.title, b"Error", "caption of the box")
    host.press_ok()
    linkup = client.line()
    check_equal(linkup, f"linkup {window.pid} 0", "link-up after the box")
    check_equal(client.line(), "result 1", "answer to the create command")
    check_equal(client.result("login"), 1, "answer to a login toward nowhere")
    check(relay.running, "the relay runs on")


@case(timeout=240)
def bad_records_are_answered_and_the_relay_serves_on(session):
    """Records no relay can act on are answered and turned away, an ended
    client is passed over, and afterwards the same relay carries a client's
    text to itself (a link toward its own address)."""
    host = session.host("a", settings())
    relay = host.start_relay()
    window = wait_for_relay(host)

    # A client that registers first and then ends: its entry comes first.
    ghost = Client(host, "ghost")
    ghost.register()
    check_equal(ghost.ask("exit"), "bye", "ghost leaving")
    check_equal(ghost.process.wait(EXIT_WAIT), 0, "exit code of the ghost client")

    client = Client(host, "client")
    client.register()
    check_equal(client.result("record 01"), 1, "a code that does nothing")

    # Only a 64-bit client can send a length beyond 32 bits.
    wide = pe_width(program_exe("rawclient")) == 64
    for length in (0, -1, -2147483648, 2147483647, 65508) + ((0x100000005,) if wide else ()):
        check_equal(client.result(f"message 1026 record {length}"), 0, f"answer to length {length}")
    check_equal(client.result("message 1026 16 4"), NOT_HANDLED_ANSWER, "answer to an unreadable address")
    check_equal(client.result("record 00"), 0, "a create record of 1 byte")
    check_equal(client.result("record 000700000001000000"), 0, "a create record of 9 bytes")
    check_equal(client.result("record 00070000000100000031323700"[:-2] + "2e"), 0,
                "a create record whose host text has no zero byte")

    check_equal(client.create(5, "127.0.0.1"), window.pid, "relay process id in the link-up")
    check_equal(client.create(6, "127.0.0.1"), window.pid, "relay process id in the repeated link-up")
    check_equal(client.result("login"), 1, "answer to the login")
    wait_for_log_line(host, window, LOGIN_ACCEPTED)
    text = b"an mich selbst\x00\xff"
    check_equal(client.result("text " + hex_of(text)), 1, "answer to the text")
    client.expect_data(hex_of(text))

    lines = [line for _, line in host.tree(window.hwnd, wait=10)]
    for expected in (b"Die Nachricht hat die ung\xfcltige L\xe4nge 0 und wird abgewiesen",
                     b"Die Nachricht hat die ung\xfcltige L\xe4nge -2147483648 und wird abgewiesen",
                     b"Die Nachricht ist mit 65508 Bytes zu lang und wird abgewiesen",
                     b"Kein angemeldeter Prozess kann die Nachricht liefern, sie wird verworfen",
                     b"Der Befehl zum Erstellen ist mit 9 Bytes zu kurz und wird abgewiesen",
                     b"Der Rechnername endet nicht im Befehl, der Befehl wird abgewiesen",
                     b"Die bisherige Verbindung wird geschlossen"):
        check(expected in lines, f"log line {expected!r}")
    if wide:
        check(b"Die Nachricht ist mit 4294967301 Bytes zu lang und wird abgewiesen" in lines, "the 64-bit length")
    check(relay.running, "the relay runs on")


if __name__ == "__main__":
    raise SystemExit(main())
