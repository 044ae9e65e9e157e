#!/usr/bin/python3
# Pauses in the FTP upload of "Quendrel --update", against any FTP server:
# each run's wall time and the longest pause between two lines of its
# conversation log (with the line the pause came after); a pause of 0.9 s or
# more counts as a stall. The address is taken from the host's name
# ("Directly Connected"), so the upload is the only network step.
#
#   bench/ftp_stall.py --binary build/Quendrel --port 2121 --user U --password P [--remote-dir site]
#                      [--runs 50] [--active]
#   bench/ftp_stall.py --binary build/Quendrel --local [--user U] [--stop-on TEXT] ...
#
# --local starts tests/support/servers.py and uploads to its FTP server (user
# "writer" unless --user names another of its users, password "secret").
# With --stop-on TEXT, each run is sent SIGTERM 0.3 to 1.2 s after a line of
# its log holds TEXT (e.g. "> STOR" with --local --user quiet-STOR: the server
# takes the data and never confirms it), and the time from the signal to the
# program's end is printed instead. Asserts nothing; exit
# status 1 when a run failed or never got to TEXT.
import argparse
import base64
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import local_servers

STALL = 0.9  # seconds; loopback commands are answered within milliseconds
RUN_LIMIT = 120  # seconds; past the program's own 60 s without progress



def write_settings(folder, args):
    keys = {
        'CheckOnStart': '0',
        'WebpageType': '-1',  # the built-in page
        'ConnectType': '-1',  # the address from the host's name: no web page asked
        'DestFilename': 'ip.html',
        'Server': args.server,
        'Port': str(args.port),
        'RemotePath': args.remote_dir,
        'Username': args.user,
        'Password': base64.b64encode(args.password.encode()).decode(),
        'PasActFlag': '-1' if args.active else '0',
    }
    folder.mkdir()
    (folder / 'Quendrel.ini').write_text('[Settings]\n' + ''.join(f'{k}={v}\n' for k, v in keys.items()))
    (folder / 'Quendrel.ini').chmod(0o600)


def environment():
    env = dict(os.environ)
    for name in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM', 'ftp_proxy', 'all_proxy', 'ALL_PROXY'):
        env.pop(name, None)
    env['QT_MESSAGE_PATTERN'] = '%{message}'
    return env


class Run:
    """One "Quendrel --update --verbose"; its stderr lines stamped as they arrive."""

    def __init__(self, binary, folder):
        self.started = time.monotonic()
        self.proc = subprocess.Popen([binary, '--update', '--verbose', '--settings', str(folder)],
                                     env=environment(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     text=True, errors='replace')
        self.lines = []  # (seconds since start, line)
        self.changed = threading.Condition()
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for line in self.proc.stderr:
            with self.changed:
                self.lines.append((time.monotonic() - self.started, line.rstrip('\n')))
                self.changed.notify_all()

    def wait_for_line(self, text, limit):
        with self.changed:
            return self.changed.wait_for(lambda: any(text in line for _, line in self.lines), limit)

    def finish(self):
        status = self.proc.wait(RUN_LIMIT)
        self.reader.join()
        return status, time.monotonic() - self.started

    def longest_pause(self):
        gaps = [(b[0] - a[0], a[1]) for a, b in zip(self.lines, self.lines[1:])]
        return max(gaps, default=(0.0, ''))


def count_stalls(args, folder):
    times, stalls, failed = [], 0, 0
    for number in range(1, args.runs + 1):
        run = Run(args.binary, folder)
        status, seconds = run.finish()
        pause, after = run.longest_pause()
        stalls += pause >= STALL
        failed += status != 0
        times.append(seconds)
        mark = ' STALL' if pause >= STALL else ''
        if status != 0:
            mark += ' (' + (run.lines[-1][1] if run.lines else 'nothing logged') + ')'
        print(f'run {number:3}: {seconds * 1000:7.1f} ms, status {status}, longest pause {pause * 1000:7.1f} ms'
              f' after "{after[:60]}"{mark}', flush=True)
    ms = sorted(t * 1000 for t in times)
    print(f'{args.server}:{args.port} {"active" if args.active else "passive"}: stalls (a pause of {STALL} s or more)'
          f' {stalls} of {len(ms)}; failed {failed}; run time min {ms[0]:.1f} ms, median'
          f' {statistics.median(ms):.1f} ms, max {ms[-1]:.1f} ms')
    return failed == 0


def time_stops(args, folder):
    ends, ok = [], True
    for number in range(1, args.runs + 1):
        run = Run(args.binary, folder)
        if not run.wait_for_line(args.stop_on, 30):
            run.proc.kill()
            print(f'run {number:3}: no log line held "{args.stop_on}"', flush=True)
            ok = False
            continue
        time.sleep(0.3 + number % 10 / 10)  # into the wait, each run at another point of libcurl's 1 s tick
        signalled = time.monotonic()
        run.proc.send_signal(signal.SIGTERM)
        status, _ = run.finish()
        ends.append(time.monotonic() - signalled)
        print(f'run {number:3}: ended {ends[-1] * 1000:7.1f} ms after SIGTERM, status {status}', flush=True)
    if ends:
        ms = sorted(t * 1000 for t in ends)
        print(f'SIGTERM once "{args.stop_on}" was logged: end after min {ms[0]:.1f} ms, median'
              f' {statistics.median(ms):.1f} ms, max {ms[-1]:.1f} ms ({len(ms)} runs)')
    return ok


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--local', action='store_true')
    parser.add_argument('--server', default='127.0.0.1')
    parser.add_argument('--port', type=int, default=21)
    parser.add_argument('--user')
    parser.add_argument('--password')
    parser.add_argument('--remote-dir', default='site')
    parser.add_argument('--runs', type=int, default=50)
    parser.add_argument('--active', action='store_true')
    parser.add_argument('--stop-on')
    args = parser.parse_args()
    args.binary = str(Path(args.binary).resolve())
    work = Path(tempfile.mkdtemp(prefix='quendrel-ftp-stall-'))
    servers = None
    try:
        if args.local:
            servers, ports = local_servers.start(work / 'servers')
            args.port = ports['ftp']
            args.user, args.password = args.user or 'writer', 'secret'
        if not args.user or args.password is None:
            sys.exit('error: --user and --password are needed without --local')
        write_settings(work / 'settings', args)
        ok = time_stops(args, work / 'settings') if args.stop_on else count_stalls(args, work / 'settings')
    finally:
        if servers:
            servers.stdin.close()  # servers.py ends with its stdin
            servers.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(0 if ok else 1)


if __name__ == '__main__':
    main()
