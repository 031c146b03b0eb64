"""Writes classic pcap files of UDP/IPv4 datagrams over Ethernet, with the
standard library only, so that captures of known datagrams can be made
without capturing."""

import struct

LINKTYPE_ETHERNET = 1


def _checksum(data):
    if len(data) % 2:
        data += b"\x00"
    total = sum(struct.unpack(f"!{len(data) // 2}H", data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def _address(dotted):
    return bytes(int(part) for part in dotted.split("."))


def udp_frame(source, source_port, destination, destination_port, payload):
    """An Ethernet frame carrying one UDP datagram from (source, source_port)
    to (destination, destination_port); checksums are correct."""
    udp_length = 8 + len(payload)
    pseudo = _address(source) + _address(destination) + struct.pack("!BBH", 0, 17, udp_length)
    udp = struct.pack("!HHHH", source_port, destination_port, udp_length, 0) + payload
    udp_sum = _checksum(pseudo + udp) or 0xFFFF
    udp = udp[:6] + struct.pack("!H", udp_sum) + udp[8:]
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + udp_length, 0, 0x4000, 64, 17, 0,
                     _address(source), _address(destination))
    ip = ip[:10] + struct.pack("!H", _checksum(ip)) + ip[12:]
    ethernet = b"\x02\x00\x00\x00\x00\x02" + b"\x02\x00\x00\x00\x00\x01" + b"\x08\x00"
    return ethernet + ip + udp


def write_pcap(path, frames):
    """`frames`: Ethernet frames, written one second apart."""
    with open(path, "wb") as capture:
        capture.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, LINKTYPE_ETHERNET))
        for number, frame in enumerate(frames):
            capture.write(struct.pack("<IIII", 1_700_000_000 + number, 0, len(frame), len(frame)))
            capture.write(frame)
