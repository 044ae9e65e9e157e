#!/usr/bin/python3
# One whole update by "Quendrel --update" beside curl doing the same work,
# against the local servers of tests/support/servers.py on 127.0.0.1: the GET
# of the IP web page (/ip), the address cut out between <ip> and </ip>, the
# built-in page written and uploaded by passive FTP to site/ip.html (curl's
# page has the same bytes as Quendrel's temp.htm).
# Each figure is the wall time of the whole command (for curl, its two runs),
# process start included; the two sides take turns, so that a busy moment of
# the machine falls on both. Prints the medians and their ratio; asserts
# nothing.
#
#   bench/cli_vs_curl.py --binary build/Quendrel [--runs 50]
#
# Exit status 1 when either side could not do the job (the other side's
# figures are still printed).
import argparse
import base64
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import local_servers

ADDRESS = '203.0.113.7'
PASSWORD = 'secret'
RUN_LIMIT = 20  # seconds; a loopback cycle takes a fraction of one


class Failed(Exception):
    pass


# Without a display or a proxy: the program needs neither, and a proxy
# would put a third process between the client and the local servers.
def quiet_environment():
    env = dict(os.environ)
    for name in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM',
                 'http_proxy', 'https_proxy', 'HTTP_PROXY', 'HTTPS_PROXY', 'all_proxy', 'ALL_PROXY'):
        env.pop(name, None)
    return env


def write_settings(folder, ports):
    keys = {
        'CheckOnStart': '0',
        'WebpageType': '-1',  # the built-in page
        'DestFilename': 'ip.html',
        'Server': '127.0.0.1',
        'Port': ports['ftp'],
        'RemotePath': 'site',
        'Username': 'writer',
        'Password': base64.b64encode(PASSWORD.encode()).decode(),
        'PasActFlag': '0',  # passive
        'ConnectType': '0',  # behind a gateway: the IP web page
        'IPWebPage': f'http://127.0.0.1:{ports["http"]}/ip',
        'StartString': '<ip>',
        'EndString': '</ip>',
    }
    folder.mkdir()
    text = '[Settings]\n' + ''.join(f'{key}={value}\n' for key, value in keys.items())
    (folder / 'Quendrel.ini').write_text(text)
    (folder / 'Quendrel.ini').chmod(0o600)


def timed(command, env=None):
    started = time.perf_counter()
    try:
        done = subprocess.run(command, env=env, capture_output=True, text=True, timeout=RUN_LIMIT)
    except subprocess.TimeoutExpired:
        raise Failed(f'{command[0]} still ran after {RUN_LIMIT} s')
    return time.perf_counter() - started, done


def quendrel_once(binary, settings, uploaded):
    uploaded.unlink(missing_ok=True)
    seconds, done = timed([binary, '--update', '--settings', str(settings)], quiet_environment())
    said = (done.stderr.strip() or '(nothing on stderr)')[-600:]
    if done.returncode == 2:
        raise Failed(f'{binary} refuses --update (usage error, status 2): {said}')
    if done.returncode < 0:
        raise Failed(f'{binary} --update was killed by signal {-done.returncode}; does it know --update? {said}')
    if done.returncode != 0:
        last = (done.stdout.strip().splitlines() or ['(nothing)'])[-1]
        raise Failed(f'{binary} --update failed (status {done.returncode}), last line {last!r}: {said}')
    if not uploaded.is_file() or ADDRESS not in uploaded.read_text():
        raise Failed(f'{binary} --update exited 0 but uploaded no page (another Quendrel running from there?)')
    return seconds


# The page Quendrel wrote with this address, so that both upload the same
# number of bytes; the built-in page's line when Quendrel wrote none.
def page_like(quendrel_page, address):
    if quendrel_page.is_file():
        return quendrel_page.read_bytes().replace(ADDRESS.encode(), address.encode())
    moment = time.strftime('%m/%d/%Y %H:%M:%S')
    return f'<html><body><center><b>{address}</b><br>{moment}</center></body></html>\r\n'.encode()


def curl_once(ports, page, quendrel_page, uploaded):
    uploaded.unlink(missing_ok=True)
    env = quiet_environment()
    get_seconds, got = timed(['curl', '-sS', f'http://127.0.0.1:{ports["http"]}/ip'], env)
    if got.returncode != 0 or '<ip>' not in got.stdout:
        raise Failed(f'curl GET failed (status {got.returncode}): {got.stderr.strip()}')
    address = got.stdout.split('<ip>', 1)[1].split('</ip>', 1)[0].strip()
    started = time.perf_counter()
    page.write_bytes(page_like(quendrel_page, address))
    write_seconds = time.perf_counter() - started
    put_seconds, put = timed(['curl', '-sS', '--ftp-pasv', '--ftp-method', 'singlecwd', '--user',
                              f'writer:{PASSWORD}', '-T', str(page),
                              f'ftp://127.0.0.1:{ports["ftp"]}/site/ip.html'], env)
    if put.returncode != 0 or not uploaded.is_file():
        raise Failed(f'curl upload failed (status {put.returncode}): {put.stderr.strip()}')
    return get_seconds + write_seconds + put_seconds


# Each side's times, or None for a side that failed (the other goes on).
def measure(sides, runs):
    times = {name: [] for name in sides}
    for turn in range(runs + 1):  # a first turn, not counted: files and libraries into the cache
        for name, once in sides.items():
            if times[name] is None:
                continue
            try:
                seconds = once()
            except Failed as failure:
                print(f'{name}: error: {failure}', file=sys.stderr)
                times[name] = None
                continue
            if turn > 0:
                times[name].append(seconds)
    return times


def report(name, times):
    if times:
        ms = sorted(t * 1000 for t in times)
        print(f'{name:<34} runs {len(ms)}  min {ms[0]:7.1f} ms  median {statistics.median(ms):7.1f} ms'
              f'  max {ms[-1]:7.1f} ms')
    else:
        print(f'{name:<34} no figures (see the error above)')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--runs', type=int, default=50)
    args = parser.parse_args()
    if not shutil.which('curl'):
        sys.exit('error: curl not found (Debian package curl)')
    binary = str(Path(args.binary).resolve())

    work = Path(tempfile.mkdtemp(prefix='quendrel-cli-bench-'))
    servers, ports = local_servers.start(work / 'servers')
    uploaded = work / 'servers' / 'ftp' / 'site' / 'ip.html'
    try:
        write_settings(work / 'settings', ports)
        times = measure({
            'Quendrel --update': lambda: quendrel_once(binary, work / 'settings', uploaded),
            'curl': lambda: curl_once(ports, work / 'page.htm', work / 'settings' / 'temp.htm', uploaded),
        }, args.runs)
        cli, curl = times['Quendrel --update'], times['curl']
        sizes = [page.stat().st_size if page.is_file() else None
                 for page in (work / 'settings' / 'temp.htm', work / 'page.htm')]
    finally:
        servers.stdin.close()  # servers.py ends with its stdin
        servers.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)

    print('whole cycles on 127.0.0.1 (GET /ip, page, passive FTP upload), wall time of the commands')
    report('Quendrel --update --settings DIR', cli)
    report('curl (GET, then upload)', curl)
    print(f'page bytes: Quendrel {sizes[0]}, curl {sizes[1]}')
    if cli and curl:
        print(f'ratio of the medians, Quendrel / curl: {statistics.median(cli) / statistics.median(curl):.2f}')
    sys.exit(0 if cli and curl else 1)


if __name__ == '__main__':
    main()
