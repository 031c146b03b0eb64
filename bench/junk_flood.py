#!/usr/bin/env python3
"""Strangers flooding a relay's server port with datagrams of every type and
length (scripts/bench): the mix of the soak's crowd (load_partner.py: 0 to
65,507 bytes, mostly meaningful type bytes, 3 % longer than 4096 bytes) at a
steady rate from several sources. Run in a namespace that reaches the relay:

    junk_flood.py RELAY PORT RATE SECONDS SOURCES SEED

Prints "ready", then, when done, one line of JSON: datagrams sent, the
replies the relay sent back (each a LoginFailed to the stranger's own port),
the rate reached and the largest datagram.
"""

import json
import random
import select
import socket
import sys
import time

import load_partner  # the same mix as the soak's crowd

BATCH_SECONDS = 0.002  # datagrams due within this much are sent together


def main():
    relay, port, rate, seconds, sources, seed = (sys.argv[1], int(sys.argv[2]), float(sys.argv[3]),
                                                 float(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6]))
    chooser = random.Random(seed)
    crowd = []
    for _ in range(sources):
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 22)
        sock.bind(("0.0.0.0", 0))
        sock.setblocking(False)
        crowd.append(sock)
    # Made beforehand, so that making them does not set the pace.
    pool = [load_partner.crowd_datagram(chooser, 0.03) for _ in range(4096)]
    summary = {"sent": 0, "expected_replies": 0, "replies": 0, "bad_replies": 0, "largest": 0, "send_failed": 0}
    print("ready", flush=True)

    def drain():
        readable, _, _ = select.select(crowd, [], [], 0)
        for sock in readable:
            while True:
                try:
                    data, source = sock.recvfrom(65536)
                except BlockingIOError:
                    break
                if data == bytes([load_partner.LOGIN_FAILED]) and source == (relay, port):
                    summary["replies"] += 1
                else:
                    summary["bad_replies"] += 1

    start = time.monotonic()
    total = int(rate * seconds)
    index = 0
    while index < total:
        due = start + index / rate
        now = time.monotonic()
        if due > now + BATCH_SECONDS:
            drain()
            time.sleep(min(due - now - BATCH_SECONDS, 0.001))
            continue
        datagram = pool[index % len(pool)]
        sock = crowd[index % len(crowd)]
        try:
            sock.sendto(datagram, (relay, port))
        except BlockingIOError:
            summary["send_failed"] += 1
        else:
            summary["sent"] += 1
            summary["largest"] = max(summary["largest"], len(datagram))
            # The relay refuses every non-empty datagram of a stranger, except
            # a LoginFailed, which it leaves unanswered.
            if datagram and datagram[0] != load_partner.LOGIN_FAILED:
                summary["expected_replies"] += 1
        index += 1
    summary["seconds"] = time.monotonic() - start
    summary["rate"] = summary["sent"] / summary["seconds"]
    quiet = time.monotonic()
    while time.monotonic() - quiet < 2.0:
        before = summary["replies"] + summary["bad_replies"]
        drain()
        if summary["replies"] + summary["bad_replies"] != before:
            quiet = time.monotonic()
        time.sleep(0.05)
    print(json.dumps(summary), flush=True)


if __name__ == "__main__":
    main()
