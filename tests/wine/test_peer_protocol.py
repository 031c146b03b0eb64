#!/usr/bin/env python3
"""The peer protocol of Quorvel.exe, run for real under Wine: the relay in a
network namespace of its own, and a partner played by plain sockets on the
root side of a veth link, at another address on the same port. Entries are
made by a real client program through the relay's window messages."""

import tools_path  # noqa: F401  (first: makes the tools importable)

import os
import random
import select
import socket

import harness
from harness import case, check, check_equal, main, wait_until
from sdk_programs import ConsoleClient

QUIET = 2.0  # seconds in which a datagram that must not come does not come
REPLY_WAIT = 20.0

RECEIVE_EVENT = b"EmpfangsEvent"
BUFFER_RESIZE = b"Buffer Resize"
REFUSED = b"Name nicht gefunden, Login FEHLGESCHLAGEN!"
ACCEPTED = b"Name gefunden, Login erfolgreich!"


def settings(port):
    return f"[UDP Settings]\r\nPort={port}\r\nDebugging=1\r\n".encode()


def login(name_id):
    return b"\x01" + (name_id & 0xFFFFFFFF).to_bytes(4, "little")


def resized(kb):
    return [(0, BUFFER_RESIZE), (1, b"Der EmpfangBuffer wurde auf " + str(kb).encode() + b" Kb erh\xf6ht")]


def refused_event():
    return [(0, RECEIVE_EVENT), (1, REFUSED)]


def pattern(length, zero_at=None):
    data = bytearray((ord("a") + i % 26) for i in range(length))
    if zero_at is not None:
        data[zero_at] = 0
    return bytes(data)


class Partner:
    """The partner's relay and machine: sockets in the root namespace at the
    root side's address of the link. `server` stands at the port both relays
    use; `socket()` gives further sockets at ports of the system's choice, as
    the partner's entries send from."""

    def __init__(self, address):
        self.address = address
        self.server, self.port = self._bind_server()

    def _bind_server(self):
        # A port below the ephemeral range, free on this address in the root
        # namespace; the relay is configured to the same one.
        candidates = random.sample(range(20000, 30000), 50)
        for port in candidates:
            sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                sock.bind((self.address, port))
            except OSError:
                sock.close()
                continue
            self._close_later(sock)
            return sock, port
        raise harness.TestFailure("no free UDP port for the partner")

    def _close_later(self, sock):
        harness._cleanup.push(sock.close, "a partner socket")

    def socket(self):
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((self.address, 0))
        self._close_later(sock)
        return sock


def receive(sock, timeout=REPLY_WAIT):
    """(bytes, (address, port)) of the next datagram, or None when none came
    in time."""
    ready, _, _ = select.select([sock], [], [], timeout)
    if not ready:
        return None
    return sock.recvfrom(65536)


def expect_reply(sock, expected, source, what):
    got = receive(sock)
    check(got is not None, f"no reply to {what}")
    data, sender = got
    check_equal(data, expected, f"reply to {what}")
    check_equal(sender, source, f"sender of the reply to {what}")


def expect_silence(sock, what):
    got = receive(sock, QUIET)
    check(got is None, f"unexpected datagram {got!r} after {what}")


def configured_client(host, name_id, host_text):
    """The SDK's console client, announced and with its entry made."""
    client = ConsoleClient(host, "client")
    client.connect()
    client.create(name_id, host_text)
    return client


def start(session):
    """A relay with debugging on in its own namespace, linked to the root
    namespace where the partner's sockets stand. Returns (host, window,
    relay address, partner)."""
    host = session.host("relay")
    subnet = f"10.78.{os.getpid() % 250 + 1}"
    relay_address, partner_address = host.link(None, subnet)
    partner = Partner(partner_address)
    host.write_settings(settings(partner.port))
    host.start_relay()
    window = host.relay_window()
    wait_until(lambda: partner.port in host.udp_ports(), 30, f"UDP port {partner.port} to be bound")
    return host, window, relay_address, partner


def peer_lines(host, window, expected):
    """The log's lines from its first receive event on, once there are as many
    as expected."""
    def collected():
        lines = host.tree(window.hwnd, wait=10) or []
        starts = [i for i, line in enumerate(lines) if line in ((0, RECEIVE_EVENT), (0, BUFFER_RESIZE))]
        if not starts:
            return None
        tail = lines[starts[0]:]
        return tail if len(tail) >= len(expected) else None
    return wait_until(collected, 30, f"{len(expected)} log lines of the peer protocol")


@case(timeout=180)
def unregistered_sources_are_refused(session):
    """From a source no entry knows: a Ping, a Text, Logins of 4, 6 and 5
    bytes (an unknown name) and datagrams of 3000 and 65,507 bytes are each
    answered LoginFailed at their own port, from the relay's server port; a
    LoginFailed is not answered. The log tree shows each event, and the
    buffer growth that let the large datagrams in whole."""
    host, window, relay_address, partner = start(session)
    relay = (relay_address, partner.port)
    stranger = partner.socket()

    for what, datagram in (("a Ping", b"\x05"), ("a Text", b"\x07hallo"),
                           ("a 4-byte Login", b"\x01\x09\x00\x00"),
                           ("a 6-byte Login", login(9) + b"\x00"),
                           ("a Login with an unknown name", login(9)),
                           ("3000 bytes", b"\x07" + pattern(2999)),
                           ("65,507 bytes", b"\x07" + pattern(65506))):
        stranger.sendto(datagram, relay)
        expect_reply(stranger, b"\x03", relay, what)

    stranger.sendto(b"\x03", relay)
    expect_silence(stranger, "a LoginFailed")
    stranger.sendto(b"\x05", relay)
    expect_reply(stranger, b"\x03", relay, "a Ping after the LoginFailed")
    expect_silence(stranger, "the last Ping")
    expect_silence(partner.server, "datagrams from a stranger")

    expected = (refused_event() * 4
                + [(0, RECEIVE_EVENT), (1, b"Login"), (1, b"IP: " + partner.address.encode()),
                   (1, b"Name: 9"), (1, REFUSED)]
                + resized(1) + resized(2) + resized(3) + refused_event()
                + [line for kb in range(4, 65) for line in resized(kb)] + refused_event()
                + refused_event() * 2)
    check_equal(peer_lines(host, window, expected), expected, "log lines of the peer protocol")


@case(timeout=240)
def logged_in_partner(session):
    """A real client makes an entry for the partner. The partner's Login is
    answered LoginOk at the partner's server port from the entry's own
    socket; then a Ping is answered Alive and a repeated Login
    AlreadyLoggedIn, both there too; Texts of 3000 and 65,507 bytes and an
    empty one reach the client byte for byte; a Logout changes nothing; a
    Login from another port of the partner (after its restart) takes the
    entry, and the old port is a stranger from then on. The log tree shows
    all of it."""
    host, window, relay_address, partner = start(session)
    relay = (relay_address, partner.port)
    name_id = -5
    client = configured_client(host, name_id, partner.address)

    entry = partner.socket()
    entry.sendto(login(name_id), relay)
    got = receive(partner.server)
    check(got is not None, "no LoginOk came")
    check_equal(got[0], b"\x02", "reply to the Login")
    entry_socket = got[1]
    check_equal(entry_socket[0], relay_address, "address the LoginOk came from")
    check(entry_socket[1] != partner.port, "the LoginOk comes from the entry's socket, not the server port")
    expect_silence(entry, "the Login (nothing goes to its source port)")

    entry.sendto(b"\x05", relay)
    expect_reply(partner.server, b"\x06", entry_socket, "the partner's Ping")
    entry.sendto(login(name_id), relay)
    expect_reply(partner.server, b"\x04", entry_socket, "the repeated Login")

    long_text = pattern(2999)
    entry.sendto(b"\x07" + long_text, relay)
    client.expect_text(long_text, "3000-byte datagram")
    largest = pattern(65506, zero_at=4)
    entry.sendto(b"\x07" + largest, relay)
    client.expect_text(largest, "65,507-byte datagram")
    entry.sendto(b"\x00", relay)
    entry.sendto(b"\x07", relay)
    client.expect_text(b"", "empty text after a Logout")

    restarted = partner.socket()
    restarted.sendto(login(name_id), relay)
    expect_reply(partner.server, b"\x02", entry_socket, "a Login from another port")
    expect_silence(restarted, "the Login from another port")
    entry.sendto(b"\x05", relay)
    expect_reply(entry, b"\x03", relay, "a Ping from the old port")

    forwarded = b"Nachricht wird an das Fenster " + str(client.window).encode() + b" weitergeleitet"
    text_from = (0, RECEIVE_EVENT), (1, b"Der Text stammt von " + str(name_id).encode())
    expected = ([(0, RECEIVE_EVENT), (1, b"Login"), (1, b"IP: " + partner.address.encode()),
                 (1, b"Name: " + str(name_id).encode()), (1, ACCEPTED)]
                + [*text_from, (1, b"Wir werden gepingt")]
                + [*text_from, (1, b"Jemand versucht sich erneut einzuloggen.")]
                + resized(1) + resized(2) + resized(3)
                + [*text_from, (1, b"Es ist ein Text"), (1, b"Er beinhaltet folgende Nachricht:"),
                   (1, long_text), (1, forwarded)]
                + [line for kb in range(4, 65) for line in resized(kb)]
                + [*text_from, (1, b"Es ist ein Text"), (1, b"Er beinhaltet folgende Nachricht:"),
                   (1, b"abcd"), (1, forwarded)]
                + [*text_from, (1, b"User hat sich abgemeldet")]
                + [*text_from, (1, b"Es ist ein Text"), (1, b"Er beinhaltet folgende Nachricht:"),
                   (1, b""), (1, forwarded)]
                + [(0, RECEIVE_EVENT), (1, b"Login"), (1, b"IP: " + partner.address.encode()),
                   (1, b"Name: " + str(name_id).encode()),
                   (1, b"Der Partner meldet sich neu an, von Port " + str(restarted.getsockname()[1]).encode()),
                   (1, ACCEPTED)]
                + [(0, RECEIVE_EVENT), (1, REFUSED)])
    check_equal(peer_lines(host, window, expected), expected, "log lines of the peer protocol")


if __name__ == "__main__":
    raise SystemExit(main())
