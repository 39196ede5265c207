#!/usr/bin/python3
"""A webhook receiver for the notification tests, on 127.0.0.1 at a free port.

Each POST is kept in DIR as N.txt: its path and query, then its body. It answers with the
statuses given, in turn, the last of them from then on; "hang" reads the request and never
answers. With --tls it speaks HTTPS only.
    webhookreceiver.py DIR [--tls CERT KEY] [STATUS ...]
Prints "ready PORT" once it listens.
"""
import http.server
import pathlib
import ssl
import sys
import threading

args = sys.argv[1:]
folder = pathlib.Path(args.pop(0))
tls = None
if args and args[0] == "--tls":
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(args[1], args[2])
    args = args[3:]
statuses = args or ["200"]
count = 0
lock = threading.Lock()


class Hook(http.server.BaseHTTPRequestHandler):
    # Keeping the connection, as web servers do; the client's reuse of it is tried too.
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        global count
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with lock:
            count += 1
            number = count
        (folder / f"{number}.txt").write_bytes(self.path.encode() + b"\n" + body + b"\n")
        status = statuses[min(number, len(statuses)) - 1]
        if status == "hang":
            threading.Event().wait()
        self.send_response(int(status))
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Hook)
server.daemon_threads = True
if tls:
    server.socket = tls.wrap_socket(server.socket, server_side=True)
print(f"ready {server.server_address[1]}", flush=True)
server.serve_forever()
