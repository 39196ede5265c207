#!/usr/bin/python3
"""A real SMTP server for the notification tests on 127.0.0.1; prints "ready PORT" once it listens.

    smtpserver.py DIR [--port N] [--tls CERT KEY --login USER PASSWORD]
Keeps each message, read with Python's own email package, as DIR/N.txt: its sender, recipients,
decoded subject and body, a line each. --tls requires STARTTLS, --login that login.
"""
import asyncio
import email.policy
import itertools
import pathlib
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult

args = sys.argv[1:]
folder = pathlib.Path(args[0])
numbers = itertools.count(1)


def option(name):  # the two words after it
    return args[args.index(name) + 1:args.index(name) + 3] if name in args else None


class Keep:
    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        lines = [envelope.mail_from, ",".join(envelope.rcpt_tos), str(message["subject"]),
                 message.get_content().strip()]
        (folder / f"{next(numbers)}.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")
        return "250 OK"


def check(server, session, envelope, mechanism, data):
    # Not handled: the server itself answers 535 to a refused login.
    wanted = [word.encode() for word in option("--login")]
    return AuthResult(success=[data.login, data.password] == wanted, handled=False)


options = {}
if option("--tls"):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(*option("--tls"))
    options.update(tls_context=context, require_starttls=True)
if option("--login"):
    options.update(authenticator=check, auth_required=True)


async def serve(port):
    server = await asyncio.get_running_loop().create_server(lambda: SMTP(Keep(), **options), "127.0.0.1", port)
    print(f"ready {server.sockets[0].getsockname()[1]}", flush=True)
    await server.serve_forever()


asyncio.run(serve(int(option("--port")[0]) if option("--port") else 0))
