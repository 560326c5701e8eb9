#!/usr/bin/env python3
"""A webhook receiver on Python's standard library alone, as an application would write one.

It verifies each post as the Standard Webhooks convention says and appends one JSON line per
post to the log file: {"id", "valid", "body"}. It answers with the status written in the
status file (200 when there is none). The port it listens on is printed first.
"""
import argparse
import base64
import hashlib
import hmac
import json
import os
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

TOLERANCE_SECONDS = 5 * 60


def verify(key, headers, body):
    msg_id = headers.get("webhook-id")
    stamp = headers.get("webhook-timestamp")
    signatures = headers.get("webhook-signature")
    if not (msg_id and stamp and signatures):
        return False
    if abs(time.time() - int(stamp)) > TOLERANCE_SECONDS:
        return False
    signed = msg_id.encode() + b"." + stamp.encode() + b"." + body
    expected = base64.b64encode(hmac.new(key, signed, hashlib.sha256).digest()).decode()
    return any(hmac.compare_digest("v1," + expected, s) for s in signatures.split(" "))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--secret", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--status-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    key = base64.b64decode(args.secret[len("whsec_"):])

    class Handler(BaseHTTPRequestHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("content-length", 0)))
            status = 200
            if os.path.exists(args.status_file):
                with open(args.status_file) as f:
                    status = int(f.read().strip() or 200)
            with open(args.log, "a") as f:
                f.write(json.dumps({"id": self.headers.get("webhook-id"),
                                    "valid": verify(key, self.headers, body),
                                    "body": body.decode(), "status": status}) + "\n")
            self.send_response(status)
            self.send_header("content-length", "0")
            self.end_headers()

        def log_message(self, *_):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
