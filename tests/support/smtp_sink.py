#!/usr/bin/python3
# An SMTP sink on 127.0.0.1 for the e-mail tests: every message is parsed
# with Python's email package and written into the folder given as a
# "<n>.txt" summary (envelope, decoded headers, body) with its attachments
# beside it as "<n>-<file name>". With a user and password it asks for a
# log-on and refuses any other, noting every log-on it is sent in
# "auth.txt". With a certificate and key after them it offers STARTTLS and
# takes a log-on only over TLS. Prints its port, then runs until its
# standard input closes.
import os
import socket
import ssl
import sys
from email import message_from_bytes, policy

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

folder = sys.argv[1]
user = sys.argv[2] if len(sys.argv) > 2 else None
password = sys.argv[3] if len(sys.argv) > 3 else None
certificate = sys.argv[4] if len(sys.argv) > 5 else None
key = sys.argv[5] if len(sys.argv) > 5 else None
count = 0


class Handler:
    async def handle_DATA(self, server, session, envelope):
        global count
        n = count
        count += 1
        msg = message_from_bytes(envelope.original_content or envelope.content, policy=policy.default)
        lines = ["mailfrom=" + envelope.mail_from, "rcpt=" + ",".join(envelope.rcpt_tos)]
        for name in ("Subject", "From", "To", "Cc", "Bcc", "Reply-To"):
            if msg[name] is not None:
                lines.append(name.lower() + "=" + str(msg[name]))
        body = msg.get_body(preferencelist=("plain",))
        if body is not None:
            lines.append("body=" + body.get_content().replace("\r\n", "\\n").replace("\n", "\\n"))
        for part in msg.iter_attachments():
            fname = part.get_filename()
            lines.append("attachment=" + fname + " " + part.get_content_type())
            with open(os.path.join(folder, "%d-%s" % (n, fname)), "wb") as f:
                f.write(part.get_payload(decode=True))
        with open(os.path.join(folder, "%d.txt" % n), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    with open(os.path.join(folder, "auth.txt"), "a", encoding="utf-8") as f:
        f.write(mechanism + "\n")
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user
          and auth_data.password.decode() == password)
    # Not "handled": the server itself answers a refusal with 535. A handled
    # refusal would leave the client waiting for an answer nobody sends.
    return AuthResult(success=ok, handled=False)


s = socket.socket()
s.bind(("127.0.0.1", 0))
port = s.getsockname()[1]
s.close()
kwargs = {}
if user is not None:
    kwargs = dict(authenticator=authenticator, auth_require_tls=False, auth_required=True)
if certificate is not None:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(certificate, key)
    kwargs.update(tls_context=context, require_starttls=True, auth_require_tls=True)
controller = Controller(Handler(), hostname="127.0.0.1", port=port, **kwargs)
controller.start()
print(port, flush=True)
sys.stdin.read()
controller.stop()
