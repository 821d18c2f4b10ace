#!/usr/bin/env python3
"""Reads what a test build of horasync left beside itself and checks it.

    sntp_runcheck.py clock FILE [--skew S] [--max-ms M]
        FILE is horasync-clock.txt. For the SetSystemTime line: the error of the time of day it
        would set against the host's UTC at that moment + S seconds, in ms, and whether its date
        is the date of host UTC + S. Exits 1 when there is no such line, the error exceeds M ms
        or the date differs.
    sntp_runcheck.py events FILE
        FILE is horasync-events.txt. Prints one JSON object: requests, arrivals, ms from the
        first request to the end, ms between requests, whether the run ended.
"""
import argparse
import datetime
import json
import re
import sys

LINE = re.compile(r"^(\w+) (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d+) dow \d+ host "
                  r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d+) result (\w+)$")


def parse_time(text):
    date, clock = text.split(" ")
    whole, fraction = clock.split(".")
    t = datetime.datetime.strptime(date + " " + whole, "%Y-%m-%d %H:%M:%S")
    return t + datetime.timedelta(microseconds=round(float("0." + fraction) * 1e6))


def clock(args):
    found = None
    with open(args.file, encoding="ascii") as f:
        for line in f:
            m = LINE.match(line.strip())
            if m and m.group(1) == "SetSystemTime":
                found = m
    if not found:
        print("no SetSystemTime line in %s" % args.file)
        return 1
    wanted = parse_time(found.group(3)) + datetime.timedelta(seconds=args.skew)
    got = parse_time(found.group(2))
    error_ms = ((got - wanted).total_seconds() * 1000 + 43200000) % 86400000 - 43200000   # time of day only
    date_ok = got.date() == wanted.date()
    near_midnight = abs((wanted - wanted.replace(hour=0, minute=0, second=0, microsecond=0)).total_seconds()) < 2 \
        or abs((wanted - wanted.replace(hour=23, minute=59, second=59)).total_seconds()) < 2
    print(json.dumps({"set": found.group(2), "host_plus_skew": str(wanted), "error_ms": round(error_ms, 3),
                      "date_ok": date_ok, "result": found.group(4)}))
    if args.max_ms is not None and abs(error_ms) > args.max_ms:
        return 1
    if not date_ok and not near_midnight:
        return 1
    return 0


def events(args):
    stamps = []
    with open(args.file, encoding="ascii") as f:
        for line in f:
            parts = line.strip().split(" ", 2)
            if len(parts) >= 3:
                stamps.append((parse_time(parts[0] + " " + parts[1]), parts[2]))
    requests = [t for t, what in stamps if what.startswith("request ")]
    arrivals = [t for t, what in stamps if what.startswith("arrival ")]
    ends = [t for t, what in stamps if what == "end"]
    summary = {
        "requests": len(requests),
        "arrivals": len(arrivals),
        "ended": bool(ends),
        "first_request_to_end_ms": round((ends[0] - requests[0]).total_seconds() * 1000, 3)
        if ends and requests else None,
        "request_gaps_ms": [round((b - a).total_seconds() * 1000, 1) for a, b in zip(requests, requests[1:])],
    }
    print(json.dumps(summary))
    return 0


def main():
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest="command", required=True)
    c = sub.add_parser("clock")
    c.add_argument("file")
    c.add_argument("--skew", type=float, default=0.0)
    c.add_argument("--max-ms", type=float)
    e = sub.add_parser("events")
    e.add_argument("file")
    args = p.parse_args()
    return clock(args) if args.command == "clock" else events(args)


if __name__ == "__main__":
    sys.exit(main())
