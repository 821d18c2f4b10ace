#!/usr/bin/env python3
"""Asks an SNTP server once for the time and prints what it said (loopback or a test namespace).

    sntp_probe.py [--host 127.0.0.1] [--port 123] [--wait S]

Retries every 0.2 s until a synchronised server's reply arrives or --wait seconds have passed: a
server still starting does not answer, or answers as unsynchronised (leap indicator 3, stratum 0),
which a client must not use. Prints one line: offset=<s> delay=<s> stratum=<n> waited=<s>; exits 1
without such an answer.
"""
import argparse
import socket
import struct
import sys
import time

NTP_EPOCH_OFFSET = 2208988800


def read_stamp(data, at):
    seconds, fraction = struct.unpack(">II", data[at:at + 8])
    return seconds + fraction / 2 ** 32 - NTP_EPOCH_OFFSET


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=123)
    p.add_argument("--wait", type=float, default=5.0)
    args = p.parse_args()
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(0.2)
    started = time.time()
    deadline = started + args.wait
    last = "no reply"
    while time.time() < deadline:
        t1 = time.time()
        whole = int(t1) + NTP_EPOCH_OFFSET
        request = bytes([0x1B]) + bytes(39) + struct.pack(">II", whole & 0xFFFFFFFF, int((t1 % 1) * 2 ** 32))
        s.sendto(request, (args.host, args.port))
        try:
            data, _ = s.recvfrom(1024)
        except (socket.timeout, ConnectionRefusedError):
            time.sleep(0.05)
            continue
        t4 = time.time()
        if len(data) < 48:
            continue
        last = "leap indicator %d, mode %d, stratum %d" % (data[0] >> 6, data[0] & 7, data[1])
        if data[0] >> 6 == 3 or data[0] & 7 != 4 or not 1 <= data[1] <= 15:
            time.sleep(0.2)
            continue
        t2, t3 = read_stamp(data, 32), read_stamp(data, 40)
        print("offset=%.6f delay=%.6f stratum=%d waited=%.1f" % (((t2 - t1) + (t3 - t4)) / 2, (t4 - t1) - (t3 - t2),
                                                                data[1], t4 - started))
        return 0
    print("no synchronised answer from %s:%d (last: %s)" % (args.host, args.port, last), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
