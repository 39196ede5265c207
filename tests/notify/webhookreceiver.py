#!/usr/bin/python3
"""A webhook receiver for the notification tests on 127.0.0.1; prints "ready PORT" once it listens.

    webhookreceiver.py DIR [--tls CERT KEY] [STATUS ...]
Each POST is kept as DIR/N.txt: its path and query, then its body. It answers with the statuses
given in turn, the last from then on; a POST to /hang is read and never answered.
"""
import http.server
import itertools
import pathlib
import ssl
import sys
import threading

folder, *args = sys.argv[1:]
tls = args[:3] if args[:1] == ["--tls"] else []
statuses = args[len(tls):] or ["200"]
numbers = itertools.count(1)


class Hook(http.server.BaseHTTPRequestHandler):
    # Keeping the connection, as web servers do; the client's reuse of it is tried too.
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        number = next(numbers)
        pathlib.Path(folder, f"{number}.txt").write_bytes(self.path.encode() + b"\n" + body + b"\n")
        if self.path == "/hang":
            threading.Event().wait()
        self.send_response(int(statuses[min(number, len(statuses)) - 1]))
        self.send_header("Content-Length", "0")
        self.end_headers()


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Hook)
server.daemon_threads = True
if tls:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(tls[1], tls[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(f"ready {server.server_address[1]}", flush=True)
server.serve_forever()
