#!/usr/bin/python3
# Local servers for Quendrel's tests and demo: an FTP server, an HTTP server
# with the pages the address lookup is tried against, and a TCP port that
# accepts connections and never says a word.
#
#   /usr/bin/python3 servers.py --root DIR
#
# Everything listens on 127.0.0.1, on ports the system picks. Once all of it
# listens, one line goes to stdout:
#
#   READY http=<port> ftp=<port> silent=<port>
#
# FTP users (password "secret" for all), logged in to DIR/ftp; each may read
# and write everything, and all but writer are a server that misbehaves:
#   writer     behaves
#   mute       QUIT is never answered
#   quiet-X    once command X (PASS, CWD, EPSV, STOR or RNTO) came, nothing
#              more is said; a STOR still gets its 1xx and the data is taken.
#              The end of the connection is logged too, as "(closed)"
#   eager      the reply to the first EPSV comes at once: with the reply to
#              CWD, before EPSV is sent (that EPSV is not answered again)
#   nodata     STOR empties the file, then fails with 425 as if the data
#              connection could not be made
#   norename   RNTO over an existing file is refused
#   blackhole  EPSV names a port whose connections are never answered (the
#              system drops them); PASV works
# Every command the FTP server receives is appended to DIR/ftp-commands.log,
# PASS and EPRT without their arguments (the password; a port that changes).
# DIR/ftp/site and DIR/ftp/site/nested dir/deeper are created at start.
#
# HTTP routes (GET; the answer ends where the connection closes, unless it
# says otherwise; an unknown path is a 404):
#   /ip                      an IP page: <ip>203.0.113.7</ip>
#   /echo?status=N&length=L&body=B
#                            status N (default 200), body B percent-decoded
#                            to bytes, so UTF-8 text sent percent-encoded
#                            comes back as UTF-8; without B, the request's
#                            header lines, each ended by LF, then an empty one;
#                            with L, a length of L promised (a body cut short)
#   /redirect?to=URL         302 to URL (without it: to itself, a loop)
#   /hang                    never answers
#   /endless                 <ip>192.0.2.99</ip>, then 'x' for ever
#   /gzip                    the plain answer "203.0.113.7" and a line end,
#                            gzip-compressed
#
# It exits with status 0 on SIGTERM, SIGINT or end of its stdin (so a parent
# that dies takes it along: keep its stdin open, a pipe, while it is needed).
# Only the standard library and pyftpdlib: Debian's own Python runs it.

import contextlib
import gzip
import http.server
import logging
import os
import signal
import socket
import sys
import threading
from urllib.parse import parse_qs, urlsplit

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

HOST = '127.0.0.1'


# HTTP/1.0, so that the server closes the connection after each answer:
# that is where a body without a length ends, or one cut short.
class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, format, *args):  # no request log on stderr
        pass

    def do_GET(self):
        route = 'route_' + urlsplit(self.path).path[1:]
        getattr(self, route, lambda: self.send_error(404))()

    # A query value as bytes: http.server gives the request line as latin-1
    # text, and latin-1 maps each percent-decoded byte to one character.
    def param(self, name, default=b''):
        values = parse_qs(urlsplit(self.path).query, keep_blank_values=True, encoding='latin-1').get(name)
        return values[0].encode('latin-1') if values else default

    def reply(self, status, body, *headers):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def route_ip(self):
        self.reply(200, b'<html><body>Your address: <ip>203.0.113.7</ip></body></html>')

    def route_echo(self):
        length = [('Content-Length', self.param('length').decode())] if self.param('length') else []
        self.reply(int(self.param('status', b'200')), self.param('body', str(self.headers).encode()), *length)

    def route_redirect(self):
        self.reply(302, b'', ('Location', self.param('to', self.path.encode()).decode('latin-1')))

    def route_hang(self):
        threading.Event().wait()  # until the process ends

    def route_endless(self):
        with contextlib.suppress(OSError):  # the client hangs up
            self.reply(200, b'<ip>192.0.2.99</ip>')
            while True:
                self.wfile.write(b'x' * 65536)

    def route_gzip(self):
        self.reply(200, gzip.compress(b'203.0.113.7\n'), ('Content-Encoding', 'gzip'))


class Ftp(FTPHandler):
    authorizer = DummyAuthorizer()
    auth_failed_timeout = 0.2  # a wrong password is answered without the usual 3 s pause
    users = ('writer', 'mute', 'eager', 'nodata', 'norename', 'blackhole',
             *(f'quiet-{cmd}' for cmd in ('PASS', 'CWD', 'EPSV', 'STOR', 'RNTO')))
    quiet = False  # nothing more is said
    held = None  # replies held back to go out together
    epsv_answered = False  # eager's EPSV reply is out already

    def pre_process_command(self, line, cmd, arg):
        self.note(cmd if cmd in ('PASS', 'EPRT') else line)
        user = self.username
        self.quiet |= user == f'quiet-{cmd}'
        # Not answered: mute's QUIT (the connection just stays open), eager's EPSV once answered.
        if (cmd, user) == ('QUIT', 'mute') or (cmd == 'EPSV' and self.epsv_answered):
            self.epsv_answered = False
        elif (cmd, user) == ('STOR', 'nodata'):
            open(self.fs.ftp2fs(arg), 'wb').close()
            self.respond("425 Can't open data connection.")
        elif (cmd, user) == ('RNTO', 'norename') and self.fs.lexists(self.fs.ftp2fs(arg)):
            self._rnfr = None
            self.respond('553 Rename refused: the target exists.')
        elif (cmd, user) == ('CWD', 'eager'):
            self.held = []
            super().pre_process_command(line, cmd, arg)
            self.ftp_EPSV('')
            self.push(''.join(reply + '\r\n' for reply in self.held))  # in one piece
            self.held, self.epsv_answered = None, True
        else:
            super().pre_process_command(line, cmd, arg)

    def on_disconnect(self):
        if self.username and self.username.startswith('quiet-'):
            self.note('(closed)')

    def note(self, text):
        with open(self.command_log, 'a', encoding='utf-8', errors='replace') as log:
            log.write(text + '\n')

    def respond(self, resp, *args, **kwargs):
        if self.username == 'blackhole' and resp.startswith('229'):
            resp = f'229 Entering extended passive mode (|||{self.blackhole_port}|).'
        if self.held is not None:
            self.held.append(resp)
        elif not self.quiet or resp.startswith('1'):
            super().respond(resp, *args, **kwargs)


def main():
    # The one argument, --root DIR: the directory for the FTP home (DIR/ftp) and the command log.
    root = os.path.abspath(sys.argv[sys.argv.index('--root') + 1])
    # Warnings only: pyftpdlib would otherwise log every session.
    logging.basicConfig(format='servers.py: %(name)s: %(message)s', level=logging.WARNING)
    home = os.path.join(root, 'ftp')
    os.makedirs(os.path.join(home, 'site', 'nested dir', 'deeper'), exist_ok=True)
    Ftp.command_log = os.path.join(root, 'ftp-commands.log')  # the file every command is appended to
    for user in Ftp.users:
        Ftp.authorizer.add_user(user, 'secret', home, perm='elradfmwMT')
    # With a backlog of 0 and one connection waiting unaccepted, the system
    # drops every further connection request: a port that never answers.
    blackhole = socket.create_server((HOST, 0), backlog=0)
    Ftp.blackhole_port = blackhole.getsockname()[1]  # what blackhole's EPSV names
    Ftp.blackhole_filler = socket.create_connection((HOST, Ftp.blackhole_port))

    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: sys.exit(0))
    web = http.server.ThreadingHTTPServer((HOST, 0), Handler)
    ftp = FTPServer((HOST, 0), Ftp)
    # Listens and never accepts: the system completes each connection, and
    # nothing is ever said on it.
    silent = socket.create_server((HOST, 0))
    for serve in (web.serve_forever, lambda: ftp.serve_forever(handle_exit=False)):
        threading.Thread(target=serve, daemon=True).start()
    print(f'READY http={web.server_address[1]} ftp={ftp.address[1]} silent={silent.getsockname()[1]}', flush=True)

    # Until stdin ends; os.read rather than sys.stdin, so that a signal's
    # exit is not held up by the buffered reader's lock.
    with contextlib.suppress(OSError):
        while os.read(0, 4096):
            pass


if __name__ == '__main__':
    main()
