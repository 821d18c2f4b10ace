#!/usr/bin/env python3
"""A time-stamp authority (RFC 3161 over HTTP) on 127.0.0.1 for the release tool's signing tests.

    timestamp_authority.py --cert TSA.pem --key TSA.key --chain CA.pem --dir FOLDER

Answers each POSTed time-stamp query with `openssl ts -reply`, signed by --cert (whose extended key
usage must be a critical timeStamping) and carrying --chain. It listens on a free port and prints
"port N" once it is ready; FOLDER holds its configuration and serial number.
"""
import argparse
import http.server
import os
import subprocess
import sys

CONFIG = """[tsa]
default_tsa = here
[here]
serial = {dir}/serial
signer_cert = {cert}
signer_key = {key}
certs = {chain}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_chain = no
"""


def main():
    p = argparse.ArgumentParser()
    for name in ("--cert", "--key", "--chain", "--dir"):
        p.add_argument(name, required=True)
    args = p.parse_args()
    config = os.path.join(args.dir, "tsa.cnf")
    with open(config, "w") as f:
        f.write(CONFIG.format(**{k: os.path.abspath(v) for k, v in vars(args).items()}))
    with open(os.path.join(args.dir, "serial"), "w") as f:
        f.write("01\n")

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            out = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", "/dev/stdin",
                                  "-out", "/dev/stdout"], input=query, capture_output=True)
            self.send_response(200 if out.returncode == 0 else 500)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(out.stdout)))
            self.end_headers()
            self.wfile.write(out.stdout)

        def log_message(self, *_):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
