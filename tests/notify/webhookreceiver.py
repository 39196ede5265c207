#!/usr/bin/python3
"""A webhook receiver for the notification tests, on 127.0.0.1 at a free port.

Each POST is kept in DIR as N.txt: its path and query, then its body. It answers with the
statuses given, in turn, the last of them from then on.
    webhookreceiver.py DIR [STATUS ...]
Prints "ready PORT" once it listens.
"""
import http.server
import pathlib
import sys

folder = pathlib.Path(sys.argv[1])
statuses = [int(s) for s in sys.argv[2:]] or [200]
count = 0


class Hook(http.server.BaseHTTPRequestHandler):
    # Keeping the connection, as web servers do; the client's reuse of it is tried too.
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        global count
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        count += 1
        (folder / f"{count}.txt").write_bytes(self.path.encode() + b"\n" + body + b"\n")
        self.send_response(statuses[min(count, len(statuses)) - 1])
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Hook)
print(f"ready {server.server_address[1]}", flush=True)
server.serve_forever()
