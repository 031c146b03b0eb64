#!/usr/bin/env python3
"""One-way time of a plain UDP datagram between two network namespaces, the
floor under the relay's text latency (scripts/bench). Run the receiver in
one namespace and the sender in the other; both stamp with the system clock,
which every namespace shares.

    udp_floor.py receive ADDRESS PORT COUNT TIMEOUT   prints one delay (ns) per line
    udp_floor.py send ADDRESS PORT COUNT RATE
"""

import socket
import sys
import time


def receive(address, port, count, timeout):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, port))
    sock.settimeout(timeout)
    print("ready", flush=True)
    delays = []
    try:
        while len(delays) < count:
            data = sock.recv(64)
            arrived = time.time_ns()
            delays.append(arrived - int.from_bytes(data[:8], "little"))
    except socket.timeout:
        pass
    for delay in delays:
        print(delay)


def send(address, port, count, rate):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    start = time.monotonic()
    for index in range(count):
        due = start + index / rate
        pause = due - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        sock.sendto(time.time_ns().to_bytes(8, "little") + index.to_bytes(4, "little"), (address, port))


if __name__ == "__main__":
    mode, address, port, count, last = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
    if mode == "receive":
        receive(address, port, count, last)
    else:
        send(address, port, count, last)
