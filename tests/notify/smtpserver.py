#!/usr/bin/python3
"""A real SMTP server for the notification tests, on 127.0.0.1 at a free port.

Each message it accepts is read with Python's own email package and kept in DIR as N.txt:
the envelope's sender and recipients, then the decoded subject and body, one per line.
    smtpserver.py DIR [--port N] [--tls CERT KEY --login USER PASSWORD]
With --tls it offers STARTTLS and requires it, and with --login it requires that login.
With --port it listens there, as a server that comes back after an outage does.
Prints "ready PORT" once it listens.
"""
import email
import email.policy
import pathlib
import socket
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Keep:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        self.count += 1
        lines = [envelope.mail_from, ",".join(envelope.rcpt_tos), str(message["subject"]),
                 message.get_content().strip()]
        (self.folder / f"{self.count}.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")
        return "250 OK"


def main():
    args = sys.argv[1:]
    folder = pathlib.Path(args[0])
    options = {}
    if "--tls" in args:
        at = args.index("--tls")
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args[at + 1], args[at + 2])
        options.update(tls_context=context, require_starttls=True)
    if "--login" in args:
        at = args.index("--login")
        wanted = (args[at + 1].encode(), args[at + 2].encode())

        def check(server, session, envelope, mechanism, data):
            # Not handled: the server itself answers 535 to a refused login.
            return AuthResult(success=(data.login, data.password) == wanted, handled=False)

        options.update(authenticator=check, auth_required=True)
    if "--port" in args:
        port = int(args[args.index("--port") + 1])
    else:
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
    controller = Controller(Keep(folder), hostname="127.0.0.1", port=port, **options)
    controller.start()
    print(f"ready {port}", flush=True)
    try:
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


main()
