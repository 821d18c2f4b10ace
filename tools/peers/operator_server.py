#!/usr/bin/env python3
"""Stand-in operator web server for end-to-end tests and the demo (loopback only).

It answers the client's launch request (/language.asp), the time synchroniser's report
(/gmtime.asp) and the sign-out page (/logout.asp), and verifies every digest it receives with
the native digest tool `mymd`. Every request becomes one JSON line in the log file.
For the clients on a real HTML engine: /rendered.asp, which only a page's script requests (its
query says which), and /Logout.asp, a page that is not the sign-out (the client matches case) and
requests /rendered.asp?probe=Logout when it has loaded; --launch-page answers an accepted launch
with a page of the caller's own.

    operator_server.py --port P --log FILE [--bind 127.0.0.1] [--mymd PATH] [--delay S]
                       [--body-bytes N] [--status CODE] [--fault-on report|launch|all]
                       [--zone-hours H] [--pidfile F] [--launch-page FILE]
    operator_server.py --check-log FILE [--endpoint launch|report] [--expect-count N]
    operator_server.py --check-launch HOST REQUEST-LINE USER-AGENT
    operator_server.py --check-report REQUEST-LINE

--check-launch and --check-report verify one request as a server logged it, with the same code
that verifies requests on the wire; they print "ok" or the first part that does not match. mymd's
checks of the same name are the system's own implementation: the two must agree.
"""
import argparse
import datetime
import email.message
import json
import os
import re
import signal
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote_to_bytes

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HOST_SALT_FRONT, HOST_SALT_BACK = "mordakelvint", "fisproantel"
AGENT = re.compile(r"TavinVmc\.Cet/([A-Z]{2,10})/([A-Z]{2,10})")
CODE = re.compile(r"[A-Z]{2,10}")
URL_FORM = re.compile(r"(?:[A-Za-z0-9+]|%[0-9A-F]{2})*")   # what the report's encoder produces
REPORT_TIME = re.compile(r"(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)")
LAUNCH_TIME = re.compile(r"(\d{4})(\d\d)(\d\d)(\d\d)(\d\d)(\d\d)")
VERSION = re.compile(r"(0|[1-9]\d*)\.(0|[1-9]\d*)\.(0|[1-9]\d*)")
UTF_RESERVED = " `=\\@#$%^&+|{}[]:;\"'<>,.?/"
MAX_REQUEST_LINE = 8192
ENDPOINTS = {"/language.asp": "launch", "/gmtime.asp": "report", "/logout.asp": "logout",
             "/rendered.asp": "rendered", "/Logout.asp": "Logout"}


class Bad(Exception):
    """A request that fails verification; the message becomes the verdict."""


def mymd(tool, *texts):
    """Digest codes of the texts, computed by the native tool (one process for all texts)."""
    if any("\0" in t for t in texts):
        raise Bad("text with a NUL character cannot be digested")
    if any("\n" in t or "\r" in t for t in texts):
        run = dict(args=[tool, "--", *texts], input=b"")        # line breaks: pass as arguments
    else:
        run = dict(args=[tool], input="".join(t + "\n" for t in texts).encode("utf-8"))
    out = subprocess.run(**run, capture_output=True, timeout=20)
    codes = out.stdout.decode("utf-8", "replace").splitlines()
    if out.returncode != 0 or len(codes) != len(texts) or not all(CODE.fullmatch(c) for c in codes):
        raise Bad("digest tool failed: " + out.stderr.decode("utf-8", "replace").strip())
    return codes


def get_url_encode(text):
    """The report's encoder: GBK bytes, letters and digits kept, space as '+', others %XX."""
    out = []
    for b in text.encode("gbk", "replace"):
        ch = chr(b)
        out.append(ch if ch.isascii() and ch.isalnum() else "+" if b == 32 else "%%%02X" % b)
    return "".join(out)


def get_utf_encode(text):
    """The launch request's encoder: reserved ASCII escaped, other ASCII kept, rest UTF-8 escapes."""
    out = []
    for ch in text:
        if ch in UTF_RESERVED:
            out.append("%%%02X" % ord(ch))
        elif ord(ch) < 128 or ch.encode("gbk", "replace") == b"?":
            out.append(ch)
        else:
            out.append("".join("%%%02X" % b for b in ch.encode("utf-8", "surrogatepass")))
    return "".join(out)


def split_query(query, names):
    """Raw (undecoded) values of a query that must hold exactly `names`, in that order."""
    pairs = [p.partition("=") for p in query.split("&")] if query else []
    got = [name for name, _, _ in pairs]
    if got != list(names):
        raise Bad("query parameters %s, expected %s" % (got, list(names)))
    return {name: value for name, _, value in pairs}


def parse_time(match_re, text, what):
    m = match_re.fullmatch(text)
    if not m:
        raise Bad("%s %r has the wrong form" % (what, text))
    try:
        return datetime.datetime(*map(int, m.groups()))
    except ValueError:
        raise Bad("%s %r is not a valid date and time" % (what, text))


def skew_seconds(stamp, zone_hours):
    """How far the stamp lies from this server's UTC clock shifted by zone_hours (positive: ahead)."""
    now = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
    return round((stamp - now - datetime.timedelta(hours=zone_hours)).total_seconds(), 1)


def header_text(value):
    """A header value as sent: Python reads header bytes as Latin-1; take UTF-8 or GBK when valid."""
    raw = value.encode("latin-1", "replace")
    for charset in ("ascii", "utf-8", "gbk"):
        try:
            return raw.decode(charset)
        except UnicodeDecodeError:
            pass
    return value


def one_header(headers, name):
    values = headers.get_all(name) or []
    if len(values) != 1:
        raise Bad("%d %s headers, expected 1" % (len(values), name))
    return header_text(values[0])


def verify_launch(query, headers, opts, info):
    params = split_query(query, ("lau", "tim", "ver"))
    if params["lau"] != "cn":
        raise Bad("lau is %r, expected 'cn'" % params["lau"])
    tim = params["tim"]
    info["tim_skew_s"] = skew_seconds(parse_time(LAUNCH_TIME, tim, "tim"), opts.zone_hours)
    raw_ver = params["ver"]
    try:
        version = unquote_to_bytes(raw_ver.encode("latin-1")).decode("utf-8")
    except UnicodeError:
        raise Bad("ver %r does not decode as UTF-8" % raw_ver)
    info["version"] = version
    encoded = get_utf_encode(version)
    info["ver_expected_raw"] = encoded
    if raw_ver not in (encoded, encoded.replace("%2E", ".")):
        raise Bad("ver %r is not the client's encoding of %r (%r)" % (raw_ver, version, encoded))
    if not VERSION.fullmatch(version):
        raise Bad("version %r is not major.minor.revision" % version)
    host = info["host"] = one_header(headers, "Host")
    agent = info["user_agent"] = one_header(headers, "User-Agent")
    m = AGENT.fullmatch(agent)
    machine_id, sig = (m.group(1), m.group(2)) if m else (None, None)
    info["host_digest"] = mymd(opts.mymd, HOST_SALT_FRONT + host + HOST_SALT_BACK)[0]
    if not m:
        raise Bad("User-Agent %r is not TavinVmc.Cet/<id>/<sig>" % agent)
    info["machine_id"], info["sig_received"] = machine_id, sig
    signed = machine_id + tim + version + info["host_digest"]
    info["signed_text"] = signed
    info["sig_expected"] = mymd(opts.mymd, signed)[0]
    if sig != info["sig_expected"]:
        raise Bad("signature %s, expected %s" % (sig, info["sig_expected"]))


def decode_url_form(raw, name):
    if not URL_FORM.fullmatch(raw):
        raise Bad("%s %r is not in the strict encoded form" % (name, raw))
    try:
        text = unquote_to_bytes(raw.replace("+", " ")).decode("gbk")
    except UnicodeError:
        raise Bad("%s %r does not decode as GBK" % (name, raw))
    if get_url_encode(text) != raw:
        raise Bad("%s %r re-encodes as %r" % (name, raw, get_url_encode(text)))
    return text


def verify_report(query, opts, info):
    params = split_query(query, ("tim", "clb", "sgn"))
    tim = info["tim"] = decode_url_form(params["tim"], "tim")
    clb = info["clb"] = decode_url_form(params["clb"], "clb")
    info["tim_skew_s"] = skew_seconds(parse_time(REPORT_TIME, tim, "tim"), 8)
    if not clb:
        raise Bad("clb (time server name) is empty")
    info["sgn_received"] = params["sgn"]
    info["sgn_expected"] = mymd(opts.mymd, tim + clb)[0]
    if params["sgn"] != info["sgn_expected"]:
        raise Bad("sgn %r, expected %s" % (params["sgn"], info["sgn_expected"]))


def page(title, text, onload=None):
    body = '<body onload="%s">' % onload if onload else "<body>"
    return ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312">'
            "<title>%s</title></head>%s<p>%s</p></body></html>\n" % (title, body, text)).encode("gbk")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30                      # idle keep-alive connections end after this many seconds
    opts = None                       # the command-line options, set by serve()
    log_lock = threading.Lock()
    log_file = None

    def do_GET(self):
        raw_line = self.raw_requestline.decode("latin-1").rstrip("\r\n")
        path, _, query = self.path.partition("?")
        endpoint = ENDPOINTS.get(path, "other")
        info, verdict = {}, "n/a"
        if self.headers.get("Content-Length") or self.headers.get("Transfer-Encoding"):
            self.close_connection = True  # a GET body is never read: do not reuse the connection
        try:
            if len(self.raw_requestline) > MAX_REQUEST_LINE:
                raise Bad("request line of %d bytes" % len(self.raw_requestline))
            if endpoint == "launch":
                verify_launch(query, self.headers, self.opts, info)
            elif endpoint == "report":
                verify_report(query, self.opts, info)
            if endpoint in ("launch", "report"):
                verdict = "ok"
        except Bad as e:
            verdict = "bad: %s" % e
        except Exception as e:        # a defect here must never end the server
            verdict = "bad: internal error %s: %s" % (type(e).__name__, e)
        status, body = self.answer(endpoint, verdict)
        faulty = self.opts.fault_on in (endpoint, "all")
        if faulty and self.opts.status:
            status = self.opts.status
        if faulty and self.opts.body_bytes is not None:
            body = (body * (self.opts.body_bytes // max(len(body), 1) + 1))[:self.opts.body_bytes]
        self.record(raw_line, path, query, endpoint, verdict, info, status, self.headers)
        if faulty and self.opts.delay:
            time.sleep(self.opts.delay)
        self.reply(status, body)

    def answer(self, endpoint, verdict):
        if endpoint == "launch":
            if verdict == "ok" and self.opts.launch_page:
                with open(self.opts.launch_page, encoding="utf-8") as f:   # read anew: the caller may change it
                    return 200, f.read().encode("gbk")
            text = "欢迎使用话费充值平台" if verdict == "ok" else "请求验证失败"
            return 200, page("话费充值", text + ' <a href="/logout.asp">退出</a>')
        if endpoint == "report":
            return 200, "时间已收到".encode("gbk")
        if endpoint == "logout":
            return 200, page("退出", "您已安全退出")
        if endpoint == "Logout":
            return 200, page("退出", "您已安全退出", "fetch('/rendered.asp?probe=Logout')")
        if endpoint == "rendered":
            return 200, "已显示".encode("gbk")
        return 404, page("404", "页面不存在")

    def reply(self, status, body):
        try:
            self.send_response(status)
            self.send_header("Content-Type", "text/html; charset=GB2312")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        except OSError:
            self.close_connection = True  # the client hung up

    def send_error(self, code, message=None, explain=None):
        # Reached for requests that cannot be parsed or use another method than GET.
        raw = getattr(self, "raw_requestline", b"").decode("latin-1").rstrip("\r\n")
        path = self.path if getattr(self, "command", None) else None   # None: line not parsed
        endpoint = ENDPOINTS.get(path.partition("?")[0], "other") if path else "malformed"
        self.record(raw, path, None, endpoint, "bad: %d %s" % (code, message or ""), {}, code,
                    getattr(self, "headers", None) if path else None)
        super().send_error(code, message, explain)

    def record(self, raw_line, path, query, endpoint, verdict, info, status, headers):
        entry = {
            "time": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="milliseconds"),
            "client": "%s:%s" % self.client_address[:2],
            "method": getattr(self, "command", None),
            "request_line": raw_line[:MAX_REQUEST_LINE],
            "path": path,
            "query": query,
            "params": [p.split("=", 1) for p in query.split("&")] if query else [],
            "headers": [[k, v] for k, v in headers.items()] if headers else [],
            "endpoint": endpoint,
            "verdict": verdict,
            "status": status,
            "values": info,
        }
        with self.log_lock:
            self.log_file.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self.log_file.flush()
            try:
                print("%s %s %-7s %s -> %d %s" % (entry["time"][11:23], entry["client"], endpoint,
                                                  (path or raw_line)[:60], status, verdict),
                      flush=True)
            except (OSError, UnicodeError):
                pass                  # the console line is a courtesy; the log file is the record

    def log_message(self, fmt, *args):
        pass                          # every request is already logged as JSON


def check_log(args):
    try:
        with open(args.check_log, encoding="utf-8") as f:
            lines = [line for line in f if line.strip()]
    except OSError as e:
        print("check-log: %s" % e, file=sys.stderr)
        return 2
    failed, count = False, 0
    for number, line in enumerate(lines, 1):
        try:
            entry = json.loads(line)
        except ValueError:
            print("line %d: unreadable log line" % number)
            failed = True
            continue
        endpoint, verdict = entry.get("endpoint"), entry.get("verdict", "")
        if args.endpoint and endpoint != args.endpoint:
            continue
        count += 1
        good = verdict == "ok" if args.endpoint else not verdict.startswith("bad")
        failed |= not good
        print("%s %-9s %s  %s" % (entry.get("time"), endpoint, verdict, entry.get("request_line")))
    selection = args.endpoint or "all"
    if args.expect_count is not None and count != args.expect_count:
        print("check-log: %d %s requests, expected %d" % (count, selection, args.expect_count))
        failed = True
    elif args.expect_count is None and count == 0:
        print("check-log: no %s requests in the log" % selection)
        failed = True
    return 1 if failed else 0


def check_request(args):
    """Verifies one logged request: "ok" and the values found, or the first mismatch."""
    launch = args.check_launch is not None
    host, line, agent = args.check_launch if launch else (None, args.check_report[0], None)
    text = line.strip()
    if len(text) >= 2 and text[0] == text[-1] == '"':
        text = text[1:-1]             # quoted, as the common log format writes it
    words = text.split()
    if words and words[0] == "GET":
        words = words[1:]
    if len(words) == 2 and words[1].startswith("HTTP/"):
        words = words[:1]
    info = {}
    try:
        if len(words) != 1:
            raise Bad("request line %r is not [GET] PATH?QUERY [HTTP/1.x]" % line)
        target = words[0]
        if target.startswith("http://"):
            target_host, slash, target = target[7:].partition("/")
            target = slash + target
            if launch and target_host != host:
                raise Bad("host %r in the request line, expected %r" % (target_host, host))
        path, _, query = target.partition("?")
        expected = "/language.asp" if launch else "/gmtime.asp"
        if path != expected:
            raise Bad("path %r, expected %r" % (path, expected))
        if launch:
            headers = email.message.Message()
            headers["Host"] = host.encode("utf-8").decode("latin-1")      # as the wire carries it
            headers["User-Agent"] = agent.split("User-Agent:", 1)[-1].strip()
            verify_launch(query, headers, args, info)
        else:
            verify_report(query, args, info)
    except Bad as e:
        print("bad: %s" % e)
        return 1
    print("ok")
    for key in ("machine_id", "host_digest", "signed_text", "sig_expected", "tim", "clb", "sgn_expected"):
        if key in info:
            print("  %-12s %s" % (key, info[key]))
    return 0


def serve(args):
    if not os.access(args.mymd, os.X_OK):
        print("operator_server: digest tool %s is missing (build the native preset)" % args.mymd,
              file=sys.stderr)
        return 2
    Handler.opts = args
    Handler.log_file = open(args.log, "a", encoding="utf-8")
    ThreadingHTTPServer.daemon_threads = True
    try:
        server = ThreadingHTTPServer((args.bind, args.port), Handler)
    except OSError as e:
        print("operator_server: cannot listen on %s:%d: %s" % (args.bind, args.port, e),
              file=sys.stderr)
        return 2
    stop = lambda *_: threading.Thread(target=server.shutdown, daemon=True).start()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write("%d\n" % os.getpid())
    print("operator server listening on %s:%d, log %s" % (*server.server_address[:2], args.log),
          flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        Handler.log_file.close()
        if args.pidfile:
            try:
                os.remove(args.pidfile)
            except OSError:
                pass
    print("operator server stopped", flush=True)
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    p.add_argument("--port", type=int, help="TCP port to listen on (required to serve)")
    p.add_argument("--log", metavar="FILE", help="append one JSON line per request here (required to serve)")
    p.add_argument("--bind", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    p.add_argument("--mymd", metavar="PATH", default=os.path.join(REPO, "dist", "tools", "mymd"),
                   help="native digest tool (default dist/tools/mymd)")
    p.add_argument("--delay", type=float, default=0.0, metavar="S", help="seconds to wait before answering")
    p.add_argument("--body-bytes", type=int, metavar="N", help="answer with a body of exactly N bytes")
    p.add_argument("--status", type=int, metavar="CODE", help="answer with this HTTP status")
    p.add_argument("--fault-on", choices=("report", "launch", "all"), default="report",
                   help="endpoint(s) that --delay/--body-bytes/--status apply to (default report)")
    p.add_argument("--zone-hours", type=float, default=8.0, metavar="H",
                   help="operator's zone for the launch time stamp skew (default 8)")
    p.add_argument("--pidfile", metavar="FILE", help="write the server's process id here while it runs")
    p.add_argument("--launch-page", metavar="FILE",
                   help="answer an accepted launch with this page (UTF-8 HTML, read at each launch, sent as GBK)")
    p.add_argument("--check-log", metavar="FILE", help="print the verdicts of a log; exit 0 when all are good")
    p.add_argument("--endpoint", choices=("launch", "report"),
                   help="with --check-log: only this endpoint, and every verdict must be ok")
    p.add_argument("--expect-count", type=int, metavar="N",
                   help="with --check-log: exactly N requests (of --endpoint) must be logged")
    p.add_argument("--check-launch", nargs=3, metavar=("HOST", "REQUEST-LINE", "USER-AGENT"),
                   help="verify one launch request: config.txt's host, the logged request line and User-Agent")
    p.add_argument("--check-report", nargs=1, metavar="REQUEST-LINE",
                   help="verify one time report: the logged request line")
    args = p.parse_args()
    if args.check_log:
        return check_log(args)
    if args.check_launch or args.check_report:
        if not os.access(args.mymd, os.X_OK):
            p.error("digest tool %s is missing (build the native preset)" % args.mymd)
        return check_request(args)
    if args.port is None or not args.log:
        p.error("--port and --log are required to serve")
    if args.body_bytes is not None and args.body_bytes < 0:
        p.error("--body-bytes must be 0 or more")
    return serve(args)


if __name__ == "__main__":
    sys.exit(main())
