#!/usr/bin/env python3
"""A small SNTP responder for horasync's end-to-end tests (loopback or a test namespace only).

It answers client requests on UDP port 123 in one of several ways, and logs every request it
receives as one JSON line (host UTC of arrival, sender, what it answered):

    sntp_responder.py --mode MODE [--bind 127.0.0.1] [--port 123] [--offset S] [--seed N]
                      [--burst N] [--other-address 127.0.0.2] [--log FILE] [--pidfile F]

Modes:
    normal         a correct 48-byte reply to every request, its clock --offset seconds off
    first-only     a correct reply to the first request only; later requests get nothing
    silent         every request taken and logged, none answered
    wrong-port     correct replies, but sent from port (--port + 1000) of the same address
    wrong-address  correct replies, but sent from --other-address (same port)
    short          replies of 40 bytes from the right address and port
    garbage        48 random bytes (from --seed and the request's number) as each reply
    zeros, ones    48 zero bytes, 48 bytes 0xFF as each reply
    kod            a refusal ("kiss-o'-death": stratum 0, "RATE") with the stamps of a good reply
    burst          before the first reply, --burst well-formed replies 3 hours further off (in
                   groups of 25, 10 ms apart), half from port (--port + 1000) and half from
                   --other-address; every request then answered as in normal

The pidfile is written once the sockets are bound, so it also says "ready".
"""
import argparse
import datetime
import json
import os
import random
import signal
import socket
import struct
import sys
import time

NTP_EPOCH_OFFSET = 2208988800   # seconds from 1900-01-01 to 1970-01-01


def stamp(seconds_since_1970):
    """64-bit NTP time stamp (seconds word, fraction word) of a Unix time."""
    t = seconds_since_1970 + NTP_EPOCH_OFFSET
    whole = int(t)
    fraction = int(round((t - whole) * 2 ** 32))
    if fraction >= 2 ** 32:
        whole, fraction = whole + 1, 0
    return struct.pack(">II", whole & 0xFFFFFFFF, fraction)


def reply_to(request, received, offset):
    """A server reply (version 3, mode 4, stratum 2) echoing the request's transmit stamp."""
    header = struct.pack(">BBbb", (0 << 6) | (3 << 3) | 4, 2, 6, -20)
    root = struct.pack(">II", 0, 0)
    reference_id = b"LOCL"
    reference = stamp(received + offset - 16)
    originate = request[40:48] if len(request) >= 48 else b"\0" * 8
    return header + root + reference_id + reference + originate + stamp(received + offset) + stamp(time.time() + offset)


def answer(mode, request, received, offset, seed, number):
    """The reply of the mode to the request, or None."""
    if mode == "garbage":
        return random.Random(seed * 1000 + number).randbytes(48)
    if mode == "zeros":
        return bytes(48)
    if mode == "ones":
        return b"\xff" * 48
    reply = reply_to(request, received, offset)
    if mode == "kod":   # stratum 0, the reason in the reference identifier
        return reply[:1] + b"\0" + reply[2:12] + b"RATE" + reply[16:]
    if mode == "short":
        return reply[:40]
    if mode == "silent" or (mode == "first-only" and number > 1):
        return None
    return reply


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--mode", required=True, choices=("normal", "first-only", "silent", "wrong-port", "wrong-address", "short",
                                                     "garbage", "zeros", "ones", "kod", "burst"))
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--port", type=int, default=123)
    p.add_argument("--offset", type=float, default=0.0, help="seconds the responder's clock is ahead")
    p.add_argument("--seed", type=int, default=0, help="garbage: the seed of the random replies")
    p.add_argument("--burst", type=int, default=1000, help="burst: how many replies from elsewhere")
    p.add_argument("--other-address", default="127.0.0.2")
    p.add_argument("--log")
    p.add_argument("--pidfile")
    args = p.parse_args()

    listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listen.bind((args.bind, args.port))
    elsewhere = {}
    for mode, address in (("wrong-port", (args.bind, args.port + 1000)), ("wrong-address", (args.other_address, args.port))):
        if args.mode in (mode, "burst"):
            elsewhere[mode] = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            elsewhere[mode].bind(address)
    sender = elsewhere.get(args.mode, listen)

    log = open(args.log, "a", encoding="utf-8") if args.log else None
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write("%d\n" % os.getpid())

    count = 0
    try:
        while True:
            request, client = listen.recvfrom(2048)
            received = time.time()
            count += 1
            answered = "nothing"
            burst = 0
            if args.mode == "burst" and count == 1:
                others = list(elsewhere.values())
                for i in range(args.burst):   # mostly within the client socket's buffer
                    others[i % 2].sendto(reply_to(request, received, args.offset + 10800), client)
                    burst += 1
                    if i % 25 == 24:
                        time.sleep(0.01)
                received = time.time()
            reply = answer(args.mode, request, received, args.offset, args.seed, count)
            if reply is not None:
                sender.sendto(reply, client)
                source = sender.getsockname()
                answered = "%d bytes from %s:%d" % (len(reply), source[0], source[1])
            if log:
                entry = {
                    "time": datetime.datetime.fromtimestamp(received, datetime.timezone.utc).isoformat(
                        timespec="microseconds"),
                    "from": "%s:%d" % client,
                    "bytes": len(request),
                    "number": count,
                    "answered": answered,
                    "burst": burst,
                }
                log.write(json.dumps(entry) + "\n")
                log.flush()
    finally:
        if args.pidfile:
            try:
                os.remove(args.pidfile)
            except OSError:
                pass


if __name__ == "__main__":
    sys.exit(main())
