#!/usr/bin/env python3
"""A partner machine for load runs, played by plain sockets: it logs in at a
relay like the partner's relay would, then sends a steady stream of `Text`
from its logged-in source while a crowd of other sources throws datagrams of
every type and length (0 to 65,507 bytes, random content) at the relay. It
checks every reply that comes back.

Run inside the partner's network namespace:

    load_partner.py '<json settings>'

Settings: relay (address), port (the relay's server port; the partner's own
server socket stands at the same port on `address`), address (this side),
name (the entry's name number), texts, rate (texts per second), hostile_rate
(datagrams per second from the crowd), sources (crowd size), large_share
(share of crowd datagrams longer than 4096 bytes), seed, warm_texts (texts
after which "warm" is announced).

Lines on standard output: "loggedin <entry port>" once the relay accepted
the login, "warm" after the warm-up (one datagram of every length class has
reached the relay, the largest included), then "done <json summary>".

The texts are `text_bytes(seed, i)` for i = 0, 1, ...: whoever checks the
client's side computes the same bytes with this module.
"""

import json
import random
import select
import socket
import sys
import time

LOGOUT, LOGIN, LOGIN_OK, LOGIN_FAILED, ALREADY, PING, ALIVE, TEXT = range(8)
LARGEST = 65507
REPLY_QUIET = 3.0  # seconds without a reply after which none is still coming


def login(name):
    return bytes([LOGIN]) + (name & 0xFFFFFFFF).to_bytes(4, "little")


def text_bytes(seed, index):
    """The payload of text `index`: its number, then random bytes (zero bytes
    included); every 997th text is empty and a few are long."""
    if index % 997 == 500:
        return b""
    chooser = random.Random(seed * 1_000_003 + index)
    roll = chooser.random()
    length = chooser.randint(0, 4000) if roll < 0.01 else chooser.randint(0, 200)
    return index.to_bytes(4, "little") + chooser.randbytes(length)


def crowd_datagram(chooser, large_share):
    """A datagram from a stranger: any type, any length, random content."""
    roll = chooser.random()
    if roll < large_share:
        length = LARGEST if chooser.random() < 0.25 else chooser.randint(4097, LARGEST)
    elif roll < large_share + 0.03:
        length = 0
    elif roll < large_share + 0.15:
        length = 1
    elif roll < large_share + 0.30:
        length = 5
    elif roll < large_share + 0.75:
        length = chooser.randint(2, 64)
    else:
        length = chooser.randint(65, 4096)
    data = bytearray(chooser.randbytes(length))
    if length and chooser.random() < 0.7:
        data[0] = chooser.randint(0, 8)  # mostly types that mean something
    return bytes(data)


def partner_datagram(chooser, name):
    """Something other than a Text from the logged-in source; returns the
    datagram and the reply the partner's server port then gets (or None)."""
    kind = chooser.choice((PING, PING, LOGIN, LOGOUT, LOGIN_OK, LOGIN_FAILED, ALREADY, ALIVE, 8, 200, 255))
    if kind == PING:
        return bytes([PING]) + chooser.randbytes(chooser.randint(0, 3)), bytes([ALIVE])
    if kind == LOGIN:
        return (login(name) if chooser.random() < 0.5 else bytes([LOGIN]) + chooser.randbytes(chooser.randint(0, 9)),
                bytes([ALREADY]))
    return bytes([kind]) + chooser.randbytes(chooser.randint(0, 30)), None


class Partner:
    def __init__(self, settings):
        self.s = settings
        self.relay = (settings["relay"], settings["port"])
        self.server = self._socket(settings["port"])
        self.entry = self._socket(0)
        self.crowd = [self._socket(0) for _ in range(settings["sources"])]
        self.entry_source = None
        self.summary = {"texts_sent": 0, "crowd_sent": 0, "crowd_expected_replies": 0, "crowd_replies": 0,
                        "crowd_bad_replies": 0, "partner_sent": 0, "server_expected": {}, "server_got": {},
                        "server_bad_replies": 0, "entry_replies": 0, "largest_sent": 0}
        self.expected_per_source = {}
        self.got_per_source = {}

    def _socket(self, port):
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
        sock.bind((self.s["address"], port))
        sock.setblocking(False)
        return sock

    def log_in(self):
        for _ in range(20):
            self.entry.sendto(login(self.s["name"]), self.relay)
            ready, _, _ = select.select([self.server], [], [], 1.0)
            if ready:
                data, source = self.server.recvfrom(65536)
                if data == bytes([LOGIN_OK]) and source[0] == self.s["relay"]:
                    self.entry_source = source
                    return source[1]
        raise SystemExit("the relay did not accept the login")

    def drain(self):
        readable, _, _ = select.select([self.server, self.entry, *self.crowd], [], [], 0)
        for sock in readable:
            while True:
                try:
                    data, source = sock.recvfrom(65536)
                except BlockingIOError:
                    break
                self._take_reply(sock, data, source)
        return bool(readable)

    def _take_reply(self, sock, data, source):
        if sock is self.server:
            key = data.hex()
            if source != self.entry_source or key not in self.summary["server_expected"]:
                self.summary["server_bad_replies"] += 1
            else:
                self.summary["server_got"][key] = self.summary["server_got"].get(key, 0) + 1
        elif sock is self.entry:
            self.summary["entry_replies"] += 1  # nothing goes to the login's source port
        else:
            if data != bytes([LOGIN_FAILED]) or source != self.relay:
                self.summary["crowd_bad_replies"] += 1
            else:
                self.summary["crowd_replies"] += 1
                port = sock.getsockname()[1]
                self.got_per_source[port] = self.got_per_source.get(port, 0) + 1

    def _expect_server(self, reply):
        if reply is not None:
            key = reply.hex()
            self.summary["server_expected"][key] = self.summary["server_expected"].get(key, 0) + 1

    def send_crowd(self, chooser, datagram):
        sock = chooser.choice(self.crowd)
        sock.setblocking(True)
        sock.sendto(datagram, self.relay)
        sock.setblocking(False)
        self.summary["crowd_sent"] += 1
        self.summary["largest_sent"] = max(self.summary["largest_sent"], len(datagram))
        # The relay refuses every non-empty datagram of a stranger, except a
        # LoginFailed, which it leaves unanswered.
        if datagram and datagram[0] != LOGIN_FAILED:
            self.summary["crowd_expected_replies"] += 1
            port = sock.getsockname()[1]
            self.expected_per_source[port] = self.expected_per_source.get(port, 0) + 1

    def warm_up(self, chooser):
        """One stranger's datagram of each length class, the largest last."""
        for length in (0, 1, 5, 64, 65, 4096, 40000, LARGEST):
            data = bytearray(chooser.randbytes(length))
            if length:
                data[0] = TEXT
            self.send_crowd(chooser, bytes(data))
            time.sleep(0.01)

    def run(self):
        s = self.s
        chooser = random.Random(s["seed"])
        self.warm_up(chooser)
        text_interval = 1.0 / s["rate"]
        crowd_interval = 1.0 / s["hostile_rate"] if s["hostile_rate"] > 0 else None
        partner_every = 50  # one other datagram from the partner per this many texts
        start = time.monotonic()
        next_text = start
        next_crowd = start if crowd_interval else float("inf")
        index = 0
        while index < s["texts"]:
            now = time.monotonic()
            due = min(next_text, next_crowd)
            if due > now:
                self.drain()
                time.sleep(min(due - now, 0.002))
                continue
            if next_text <= next_crowd:
                self.entry.setblocking(True)
                self.entry.sendto(bytes([TEXT]) + text_bytes(s["seed"], index), self.relay)
                index += 1
                self.summary["texts_sent"] = index
                if index % partner_every == 0:
                    datagram, reply = partner_datagram(chooser, s["name"])
                    self.entry.sendto(datagram, self.relay)
                    self.summary["partner_sent"] += 1
                    self._expect_server(reply)
                self.entry.setblocking(False)
                next_text += text_interval
                if index == s["warm_texts"]:
                    print("warm", flush=True)
            else:
                self.send_crowd(chooser, crowd_datagram(chooser, s["large_share"]))
                next_crowd += crowd_interval
        elapsed = time.monotonic() - start
        self.summary["seconds"] = elapsed
        self.summary["text_rate"] = index / elapsed if elapsed > 0 else 0.0
        # Replies still on their way.
        quiet_since = time.monotonic()
        deadline = quiet_since + 60
        while time.monotonic() - quiet_since < REPLY_QUIET and time.monotonic() < deadline:
            if self.drain():
                quiet_since = time.monotonic()
            time.sleep(0.05)
        self.summary["sources_short"] = sum(1 for port, count in self.expected_per_source.items()
                                            if self.got_per_source.get(port, 0) != count)
        return self.summary


def main():
    settings = json.loads(sys.argv[1])
    partner = Partner(settings)
    print(f"loggedin {partner.log_in()}", flush=True)
    summary = partner.run()
    print("done " + json.dumps(summary), flush=True)


if __name__ == "__main__":
    main()
