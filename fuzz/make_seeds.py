#!/usr/bin/env python3
"""Writes the hand-made seeds of each fuzzer's corpus (fuzz/corpus/<name>/).

The seeds are small, well-formed examples of what each target reads, so that
a run starts from the relay's ordinary paths. Files the fuzzer adds later
(and regressions) sit beside them under their own names.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, 'seed-' + name), 'wb') as out:
        out.write(data)


# --- settings_file: the file's whole text ---------------------------------
SETTINGS = {
    'usual': b'[UDP Settings]\r\nPort = 1234\r\nReceiveBuffer Size = 64\r\nSendBuffer Size = 64\r\nDebugging = 1\r\n',
    'lf-only': b'[udp settings]\nport=5000\nreceivebuffer size=-5\nsendbuffer size=0\ndebugging=257\n',
    'other-groups': b'[Other]\nPort = 1\n[UDP Settings]\nDebugging = 1\n[More]\nPort = 2\n',
    'no-group': b'Port = 1234\nDebugging = 1\n',
    'huge-values': b'[UDP Settings]\nPort = 99999999999\nReceiveBuffer Size = 2147483647\nSendBuffer Size = -2147483648\n',
    'cr-before-lf': b'[UDP Settings]\r\nPort = 12\r\r\n\rDebugging = 1',
    'zero-byte': b'[UDP Settings]\nPort = 7\x00\nDebugging = 1\n',
    'unended-group': b'[UDP Settings',
    'empty': b'',
}
for name, text in SETTINGS.items():
    write('settings_file', name, text)


# --- peer_datagrams ---------------------------------------------------------
def entry(name=0, host=0, logged_in=False, source=0):
    return bytes([name | host << 2 | (0x10 if logged_in else 0) | source << 5])


def datagram(source, body):
    return bytes([source]) + struct.pack('<H', len(body)) + body


def raw_datagram(ip, port, body):
    return bytes([0x80]) + struct.pack('<IH', ip, port) + struct.pack('<H', len(body)) + body


def set_up(debugging, entries):
    return bytes([(1 if debugging else 0) | (len(entries) - 1) << 1]) + b''.join(entries)


LOGIN_7 = b'\x01' + struct.pack('<i', 7)
LOGIN_8 = b'\x01' + struct.pack('<i', 8)
# Entry 0: name 7 at 127.0.0.2, waiting; entry 1: name 8 at "partner",
# logged in from 10.0.0.5 at the relay port (known source 2).
TABLE = [entry(0, 0), entry(1, 1, True, 2)]
for debugging in (False, True):
    tag = 'debug-' if debugging else ''
    write('peer_datagrams', tag + 'login-accepted',
          set_up(debugging, TABLE) + datagram(0, LOGIN_7) + datagram(0, b'\x07hello'))
    write('peer_datagrams', tag + 'logged-in-partner',
          set_up(debugging, TABLE) + b''.join(datagram(2, bytes([t])) for t in range(9)) +
          datagram(2, b'\x07text\x00with a zero') + datagram(2, LOGIN_8))
    write('peer_datagrams', tag + 'strangers',
          set_up(debugging, TABLE) + datagram(7, LOGIN_7) + datagram(1, b'\x03') + datagram(0, LOGIN_7 + b'x') +
          raw_datagram(0x0100007F, 0xD204, LOGIN_8))
write('peer_datagrams', 'same-name-twice',
      set_up(True, [entry(0, 0), entry(0, 0), entry(2, 2), entry(3, 3)]) + datagram(0, LOGIN_7) +
      datagram(0, LOGIN_7) + datagram(1, LOGIN_7) + datagram(6, b'\x01\x00\x00\x00\x00'))


# --- client_records ---------------------------------------------------------
def announce(process, hold_back=False):
    return bytes([0x80 if hold_back else 0x00, process])


def record(body, holder=0, mode=0, extra=b'', hold_back=False, kind=1):
    return bytes([kind | (0x80 if hold_back else 0), holder | mode << 3]) + struct.pack('<H', len(body)) + body + extra


def end_process(process):
    return bytes([3, process])


def create(name_id, window, host):
    return b'\x00' + struct.pack('<iI', name_id, window) + host + b'\x00'


def client_set_up(debugging, send_buffer_choice=0):
    return bytes([(1 if debugging else 0) | send_buffer_choice << 1])


for debugging in (False, True):
    tag = 'debug-' if debugging else ''
    write('client_records', tag + 'create-send-login',
          client_set_up(debugging) + announce(0) + record(create(7, 0x30042, b'127.0.0.2')) +
          record(b'\x02hello partner') + record(b'\x03') + record(b'\x01'))
    write('client_records', tag + 'two-clients',
          client_set_up(debugging, 3) + announce(0) + announce(1) + record(create(7, 0x30042, b'partner'), 1) +
          record(create(8, 0xFFFF0001, b'no.such.host'), 0) + record(b'\x02' + b'x' * 300, 1) +
          record(b'\x02shared', 0, kind=2) + end_process(1) + record(b'\x02gone', 1))
    write('client_records', tag + 'bad-lengths',
          client_set_up(debugging, 1) + announce(2) + record(b'\x02abc', 2, 1, b'\x05') +
          record(b'\x02abc', 2, 2, struct.pack('<I', 3)) + record(b'\x02abc', 2, 3, b'\x21') +
          record(b'\x00short', 2) + record(b'\x00' + b'\x01' * 20, 2) + record(b'\x02x', 4))
    write('client_records', tag + 'nested',
          client_set_up(debugging) + announce(0) + announce(3) +
          record(b'\x02inside the notification', 3, hold_back=True) +
          record(create(9, 0x30043, b'localhost'), 3, hold_back=True) +
          record(create(7, 0x30042, b'no.such.host'), 0))
write('client_records', 'no-sockets',
      client_set_up(True) + announce(0) + bytes([3, 0x81]) + record(b'\x02held', 0, hold_back=True) +
      record(create(7, 0x30042, b'127.0.0.2'), 0) + bytes([3, 0x80]) + record(create(7, 0x30042, b'127.0.0.2'), 0))
write('client_records', 'quit', client_set_up(True) + announce(0) + record(b'\x04') + record(b'\x02after'))
write('client_records', 'unknown-process', client_set_up(False) + announce(5) + announce(4) + record(b'\x02x'))
