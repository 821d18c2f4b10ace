#!/usr/bin/env python3
"""Mutation fuzzing of the stand-in operator server's request handling (loopback only).

Two stages share the time given:
  parse   the verification of launch requests and time reports, in-process: mutated queries and
          headers of correctly signed requests; anything but a verdict ("ok" or Bad) is a fault.
  wire    the running server on an ephemeral 127.0.0.1 port: mutated raw requests (request line,
          headers, stray bytes, cut short); every connection must end with an answer or be closed
          within 5 s, the server must stay up and must still verify a good request afterwards, and
          its log must stay one JSON object a line.

    operator_fuzz.py [--seconds S] [--seed N] [--mymd PATH]

Prints the figures of each stage and ends with "N passed, M failed" (stages); exits 1 on a fault,
with the failing input in hex.
"""
import argparse
import datetime
import email.message
import json
import os
import random
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import operator_server as srv  # noqa: E402

TOKENS = ["%", "%2", "%ZZ", "%00", "%2E", "%E4%B8%AD", "%D6%D0", "&", "=", "+", "?", "\0", "\r", "\n",
          "\r\n", " ", "\t", "中", "\ud800", "\udfff", "\uffff", "\U0001F600", "é", "tim=", "ver=",
          "lau=cn", "sgn=", "clb=", "9999", "0000", "99999999999999", "1.0.0", "01.0.0", "..", "/"]


def mutate(rng, text, budget=8):
    """A few random edits of the text: flips, inserts of tokens or random characters, cuts, copies."""
    s = list(text)
    for _ in range(rng.randint(1, budget)):
        op = rng.randrange(6)
        at = rng.randint(0, len(s))
        if op == 0 and s:
            s[min(at, len(s) - 1)] = chr(rng.randrange(0x110000) if rng.random() < 0.2 else rng.randrange(256))
        elif op == 1:
            s[at:at] = list(rng.choice(TOKENS))
        elif op == 2 and s:
            del s[at:at + rng.randint(1, 16)]
        elif op == 3 and s:
            start = rng.randrange(len(s))
            s[at:at] = s[start:start + rng.randint(1, 32)] * rng.randint(1, 4)
        elif op == 4:
            s[at:at] = [chr(rng.randrange(32, 127)) for _ in range(rng.randint(1, 8))]
        elif op == 5 and rng.random() < 0.05:
            s[at:at] = ["A"] * rng.choice((1000, 5000, 9000))
    return "".join(s)


def as_received(text):
    """The text as the server sees it: sent as UTF-8 bytes, read back one character a byte."""
    return text.encode("utf-8", "surrogatepass").decode("latin-1")


def headers_of(pairs):
    message = email.message.Message()
    for name, value in pairs:
        message[name] = value
    return message


class Options:
    def __init__(self, mymd):
        self.mymd = mymd
        self.zone_hours = 8.0


def good_requests(opts):
    """A correctly signed launch request (query, header pairs) and time report (query)."""
    now = datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(hours=8)
    tim = now.strftime("%Y%m%d%H%M%S")
    version, machine, host = "1.0.0", "ABCDEFGH", "op.example.com"
    host_digest = srv.mymd(opts.mymd, srv.HOST_SALT_FRONT + host + srv.HOST_SALT_BACK)[0]
    sig = srv.mymd(opts.mymd, machine + tim + version + host_digest)[0]
    launch = ("lau=cn&tim=%s&ver=%s" % (tim, srv.get_utf_encode(version)),
              [("Host", host), ("User-Agent", "TavinVmc.Cet/%s/%s" % (machine, sig))])
    caption, server = now.strftime("%Y-%m-%d %H:%M:%S"), "ntp.aliyun.com"
    report = "tim=%s&clb=%s&sgn=%s" % (srv.get_url_encode(caption), srv.get_url_encode(server),
                                       srv.mymd(opts.mymd, caption + server)[0])
    return launch, report


def verdict_of(check):
    """'ok' or the Bad message; any other exception propagates as a fault."""
    try:
        check()
        return "ok"
    except srv.Bad as e:
        return "bad: %s" % e


def parse_stage(rng, opts, deadline):
    (launch_query, launch_headers), report_query = good_requests(opts)
    assert verdict_of(lambda: srv.verify_launch(launch_query, headers_of(launch_headers), opts, {})) == "ok"
    assert verdict_of(lambda: srv.verify_report(report_query, opts, {})) == "ok"
    runs, verdicts = 0, {"ok": 0, "bad": 0}
    while time.monotonic() < deadline:
        runs += 1
        if rng.random() < 0.5:
            query = as_received(mutate(rng, launch_query)) if rng.random() < 0.7 else launch_query
            pairs = [(n, as_received(mutate(rng, v)) if rng.random() < 0.5 else v) for n, v in launch_headers]
            if rng.random() < 0.1:
                pairs.append(rng.choice(pairs))          # a header twice
            if rng.random() < 0.1 and pairs:
                pairs.pop(rng.randrange(len(pairs)))     # a header missing
            case = ("launch", query, pairs)
            check = lambda: srv.verify_launch(query, headers_of(pairs), opts, {})
        else:
            query = as_received(mutate(rng, report_query))
            case = ("report", query, [])
            check = lambda: srv.verify_report(query, opts, {})
        try:
            verdict = verdict_of(check)
        except Exception as e:
            return runs, verdicts, "%s on %r: %s" % (type(e).__name__, case, e)
        verdicts["ok" if verdict == "ok" else "bad"] += 1
    return runs, verdicts, None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def exchange(port, raw, timeout=5.0):
    """Sends raw bytes, half-closes, reads to the end. The answer's first line, or '' when closed."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        try:
            s.sendall(raw)
            s.shutdown(socket.SHUT_WR)
        except OSError:
            pass                              # the server may close first on a bad request
        data = b""
        try:
            while len(data) < 65536:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        except ConnectionResetError:
            pass
    return data.split(b"\r\n", 1)[0].decode("latin-1")


def wire_stage(rng, opts, deadline, work):
    (launch_query, launch_headers), report_query = good_requests(opts)
    port, log = free_port(), os.path.join(work, "operator.log")
    server = subprocess.Popen([sys.executable, srv.__file__, "--port", str(port), "--log", log,
                               "--mymd", opts.mymd], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        good_launch = ("GET /language.asp?%s HTTP/1.1\r\n%s\r\n" % (
            launch_query, "".join("%s: %s\r\n" % p for p in launch_headers))).encode("utf-8")
        good_report = ("GET /gmtime.asp?%s HTTP/1.1\r\nHost: op.example.com\r\n\r\n" % report_query).encode()
        runs, answered, closed = 0, 0, 0
        while time.monotonic() < deadline:
            runs += 1
            base = rng.choice((good_launch, good_report))
            raw = mutate(rng, base.decode("utf-8")).encode("utf-8", "surrogatepass")
            if rng.random() < 0.1:
                raw = raw[:rng.randrange(len(raw) + 1)]
            if rng.random() < 0.05:
                raw = bytes(rng.randrange(256) for _ in range(rng.randint(1, 300)))
            try:
                status = exchange(port, raw)
            except OSError as e:
                return runs, answered, closed, "%s on %s" % (e, raw.hex())
            # A request line without a version it can read is answered HTTP/0.9-style, a bare body.
            if status:
                answered += 1
            else:
                closed += 1
            if server.poll() is not None:
                return runs, answered, closed, "the server ended after %s" % raw.hex()
        # Still up, and still verifying: a good launch and report after all of it.
        for raw in (good_launch, good_report):
            if not exchange(port, raw).startswith("HTTP/1.1 200"):
                return runs, answered, closed, "no good answer to a good request afterwards"
        with open(log, encoding="utf-8") as f:
            entries = [json.loads(line) for line in f]
        if [e["verdict"] for e in entries[-2:]] != ["ok", "ok"]:
            return runs, answered, closed, "good requests afterwards not verified: %r" % entries[-2:]
        internal = [e for e in entries if "internal error" in e.get("verdict", "")]
        if internal:
            return runs, answered, closed, "internal error: %r" % internal[0]
        return runs, answered, closed, None
    finally:
        server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    p.add_argument("--seconds", type=float, default=20)
    p.add_argument("--seed", type=int, default=None)
    p.add_argument("--mymd", default=os.path.join(srv.REPO, "dist", "tools", "mymd"))
    args = p.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(2 ** 32)
    opts = Options(args.mymd)
    passed = failed = 0
    with tempfile.TemporaryDirectory() as work:
        start = time.monotonic()
        runs, verdicts, fault = parse_stage(random.Random(seed), opts, start + args.seconds / 2)
        print("operator parse: seed %d, %d inputs in %.1f s (%d ok, %d refused): %s"
              % (seed, runs, time.monotonic() - start, verdicts["ok"], verdicts["bad"], fault or "no fault"))
        passed, failed = (passed + 1, failed) if fault is None else (passed, failed + 1)
        start = time.monotonic()
        runs, answered, closed, fault = wire_stage(random.Random(seed + 1), opts, start + args.seconds / 2, work)
        print("operator wire: seed %d, %d requests in %.1f s (%d answered, %d closed unanswered): %s"
              % (seed + 1, runs, time.monotonic() - start, answered, closed, fault or "no fault"))
        passed, failed = (passed + 1, failed) if fault is None else (passed, failed + 1)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
