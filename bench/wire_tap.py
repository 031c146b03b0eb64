#!/usr/bin/env python3
"""Notes when each text datagram reaches a namespace's interface, to split a
text's latency into the sending side (client A's SendText to the wire) and
the receiving side (the wire to client B's window) (scripts/bench). Run in
the receiving namespace:

    wire_tap.py PORT SECONDS     prints "ready", then "<sequence> <time>" per
                                 incoming Text datagram to PORT (time in
                                 100 ns units of the system clock since 1601)

The texts are those of the load client program: after the type byte, a
4-byte sequence number and the 8-byte send time.
"""

import select
import socket
import sys
import time

ETH_P_IP = 0x0800
PACKET_OUTGOING = 4
UDP = 17
TEXT = 7
FILETIME_UNIX_EPOCH = 116444736000000000


def main():
    port, seconds = int(sys.argv[1]), float(sys.argv[2])
    tap = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(ETH_P_IP))
    tap.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)
    print("ready", flush=True)
    seen = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if not select.select([tap], [], [], 0.2)[0]:
            continue
        packet, address = tap.recvfrom(65536)
        now = time.time_ns() // 100 + FILETIME_UNIX_EPOCH
        if address[2] == PACKET_OUTGOING or len(packet) < 20 or packet[9] != UDP:
            continue
        header = (packet[0] & 0x0F) * 4
        if int.from_bytes(packet[header + 2:header + 4], "big") != port:
            continue
        payload = packet[header + 8:]
        if len(payload) >= 13 and payload[0] == TEXT:
            seen.append(f"{int.from_bytes(payload[1:5], 'little')} {now}")
    print("\n".join(seen), flush=True)


if __name__ == "__main__":
    main()
