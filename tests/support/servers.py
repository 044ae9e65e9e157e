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
# FTP users (password "secret" for both), logged in to DIR/ftp:
#   writer  may read and write everything
#   reader  may only list and download
#   mute    as writer, but QUIT is never answered
# Every command the FTP server receives is appended to DIR/ftp-commands.log
# (passwords as "PASS ***").
# DIR/ftp/site and DIR/ftp/site/nested dir/deeper are created at start.
#
# HTTP routes (GET; an unknown path is a 404 with a short body):
#   /ip                      an IP page: <ip>203.0.113.7</ip>
#   /echo?status=N&body=B    status N (default 200), body B percent-decoded
#                            to bytes ('+' stays '+'), so UTF-8 text sent
#                            percent-encoded comes back as UTF-8
#   /redirect?to=PATH        302 to PATH (without it: to itself, a loop)
#   /headers                 <ua>..</ua><cc>..</cc><pragma>..</pragma> from
#                            the request's User-Agent, Cache-Control, Pragma
#   /close-mid-body[?body=B] promises 100000 bytes, sends 1021 (or B), closes
#   /hang                    never answers
#   /stall-after-start       promises 100000 bytes, sends 100, then nothing
#   /endless?end=1           close-delimited, never ends: <ip>192.0.2.99,
#                            </ip> only with end=1, then 'x' for ever
#
# It exits with status 0 on SIGTERM, SIGINT or end of its stdin (so a parent
# that dies takes it along: keep its stdin open, a pipe, while it is needed).
# Only the standard library and pyftpdlib: Debian's own Python runs it.

import argparse
import contextlib
import http.server
import logging
import os
import signal
import socket
import sys
import threading
from urllib.parse import unquote_to_bytes

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

HOST = '127.0.0.1'
PASSWORD = 'secret'
POLL = 0.1  # how often the serving loops look at the stop flag, seconds

# Set when the process should end; blocking routes wait on it.
stopping = threading.Event()


# ---------------------------------------------------------------- HTTP

def query_bytes(path):
    """The query of a request path as {name: bytes}, percent-decoded, '+' kept."""
    # http.server gives the request line as latin-1 text: back to its raw bytes.
    pairs = (pair.partition(b'=') for pair in path.partition('?')[2].encode('latin-1').split(b'&') if pair)
    return {unquote_to_bytes(name).decode('utf-8', 'replace'): unquote_to_bytes(value) for name, _, value in pairs}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    server_version = 'QuendrelTest/1'
    sys_version = ''

    def log_message(self, format, *args):  # no request log on stderr
        pass

    def do_GET(self):
        self.query = query_bytes(self.path)
        route = self.ROUTES.get(self.path.partition('?')[0])
        if route is None:
            self.reply(404, b'Not found\n')
        else:
            route(self)

    def param(self, name, default=b''):
        return self.query.get(name, default)

    # The status line and headers; a length of None leaves the body's end to
    # the connection's close.
    def head(self, status, length, *headers):
        self.send_response(status)
        for name, value in (('Content-Type', 'text/html'),) + headers:
            self.send_header(name, value)
        if length is None:
            self.close_connection = True
            self.send_header('Connection', 'close')
        else:
            self.send_header('Content-Length', str(length))
        self.end_headers()

    def reply(self, status, body):
        self.head(status, len(body))
        self.wfile.write(body)

    # Ends the connection, with what was sent so far. An orderly close (FIN),
    # not a reset: a reset may make the client's system discard what it
    # received but was not yet read.
    def drop(self):
        self.wfile.flush()
        self.close_connection = True
        with contextlib.suppress(OSError):
            self.connection.shutdown(socket.SHUT_RDWR)

    def route_ip(self):
        self.reply(200, b'<html><body>Your address: <ip>203.0.113.7</ip></body></html>')

    def route_echo(self):
        self.reply(int(self.param('status', b'200')), self.param('body'))

    def route_redirect(self):
        # Without a target it sends the client back to itself, for ever.
        self.head(302, 0, ('Location', self.param('to', b'/redirect').decode('latin-1')))

    def route_headers(self):
        fields = [('ua', 'User-Agent'), ('cc', 'Cache-Control'), ('pragma', 'Pragma')]
        self.reply(200, ''.join(f'<{tag}>{self.headers.get(name, "")}</{tag}>' for tag, name in fields).encode())

    # The routes below promise 100000 bytes and send only some: all, then
    # close (close-mid-body), or wait until the end (stall-after-start).
    def route_close_mid_body(self):
        self.head(200, 100000)
        self.wfile.write(self.param('body', b'<ip>198.51.100.4</ip>' + b'x' * 1000))
        self.drop()

    def route_stall_after_start(self):
        self.head(200, 100000)
        self.wfile.write(b'<html><body><ip>198.51.100.9</ip>'.ljust(100, b'x'))
        self.route_hang()

    def route_hang(self):
        self.wfile.flush()
        stopping.wait()
        self.drop()

    def route_endless(self):
        self.head(200, None)
        with contextlib.suppress(BrokenPipeError, ConnectionResetError):
            self.wfile.write(b'<ip>192.0.2.99' + (b'</ip>' if self.param('end') == b'1' else b''))
            while not stopping.is_set():
                self.wfile.write(b'x' * 65536)

    ROUTES = {'/ip': route_ip, '/echo': route_echo, '/redirect': route_redirect, '/headers': route_headers,
              '/close-mid-body': route_close_mid_body, '/hang': route_hang,
              '/stall-after-start': route_stall_after_start, '/endless': route_endless}


class HttpServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False  # a kept-alive or hanging connection must not hold up the exit

    def handle_error(self, request, client_address):
        # A client that goes away mid-answer is what several routes are for.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


# ---------------------------------------------------------------- FTP

def make_ftp_server(home, command_log):
    authorizer = DummyAuthorizer()
    for user, perm in (('writer', 'elradfmwMT'), ('reader', 'elr'), ('mute', 'elradfmwMT')):
        authorizer.add_user(user, PASSWORD, home, perm=perm)

    class Ftp(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            with open(command_log, 'a', encoding='utf-8', errors='replace') as log:
                log.write(('PASS ***' if cmd == 'PASS' else line) + '\n')
            if cmd == 'QUIT' and self.username == 'mute':
                return  # never answered: the connection just stays open
            super().pre_process_command(line, cmd, arg)

    Ftp.authorizer = authorizer
    Ftp.auth_failed_timeout = 0.2  # a wrong password is answered without the usual 3 s pause
    return FTPServer((HOST, 0), Ftp)


def serve_ftp(server):
    try:
        while not stopping.is_set():
            server.serve_forever(timeout=POLL, blocking=False, handle_exit=False)
    finally:
        server.close_all()


# ---------------------------------------------------------------- silent port

def serve_silent(listener):
    accepted = []  # held open, unanswered, until the end
    listener.settimeout(POLL)
    while not stopping.is_set():
        with contextlib.suppress(socket.timeout):
            accepted.append(listener.accept()[0])
    for conn in accepted + [listener]:
        conn.close()


# ---------------------------------------------------------------- main

def watch_stdin():
    # os.read rather than sys.stdin: a daemon thread blocked inside the
    # buffered stdin object can abort the interpreter's shutdown.
    with contextlib.suppress(OSError):
        while os.read(0, 4096):
            pass
    stopping.set()


def main():
    parser = argparse.ArgumentParser(description='Local HTTP, FTP and silent TCP servers for Quendrel tests.')
    parser.add_argument('--root', required=True, help='directory for the FTP home (ROOT/ftp)')
    args = parser.parse_args()

    logging.basicConfig(format='servers.py: %(name)s: %(message)s', level=logging.WARNING)

    home = os.path.abspath(os.path.join(args.root, 'ftp'))
    os.makedirs(os.path.join(home, 'site', 'nested dir', 'deeper'), exist_ok=True)

    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stopping.set())

    http_server = HttpServer((HOST, 0), Handler)
    ftp_server = make_ftp_server(home, os.path.join(os.path.abspath(args.root), 'ftp-commands.log'))
    silent = socket.create_server((HOST, 0))

    threads = [threading.Thread(target=target, args=args, daemon=True) for target, args in (
        (http_server.serve_forever, (POLL,)), (serve_ftp, (ftp_server,)), (serve_silent, (silent,)), (watch_stdin, ()))]
    for t in threads:
        t.start()

    print(f'READY http={http_server.server_address[1]} ftp={ftp_server.address[1]} '
          f'silent={silent.getsockname()[1]}', flush=True)

    # Waits in short steps so that the signal handlers get to run promptly.
    while not stopping.wait(POLL):
        pass
    http_server.shutdown()
    http_server.server_close()
    for t in threads[1:3]:  # FTP and silent port; the stdin watcher may still be reading
        t.join(1.0)
    return 0


if __name__ == '__main__':
    sys.exit(main())
