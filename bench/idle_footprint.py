#!/usr/bin/python3
# Idle memory of Quendrel beside a bare Qt 6 tray program, on one private
# Xvfb + openbox + trayer desktop: resident set size 3 s after start with the
# window never opened, and 3 s after it was shown and hidden once from the
# tray. Prints the figures and the ratios; asserts nothing.
#
#   bench/idle_footprint.py --binary build/Quendrel --bare build/bench/bare_tray [--runs 5]
import argparse
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / 'tests' / 'support'))
import x_session as x  # noqa: E402

SETTLE = 3.0


def rss_mb(pid):
    for line in Path(f'/proc/{pid}/status').read_text().splitlines():
        if line.startswith('VmRSS:'):
            return int(line.split()[1]) / 1024
    raise RuntimeError('no VmRSS')


def started(binary, name):
    proc = x.popen(binary)
    if not x.wait_until(lambda: len(x.tray_icons(name)) == 1):
        raise RuntimeError(f'{binary}: no tray icon')
    return proc


def measure_bare(bare):
    proc = started(bare, 'bare_tray')
    time.sleep(SETTLE)
    figure = rss_mb(proc.pid)
    x.kill_group(proc)
    return figure


def measure_quendrel(binary):
    # A copy in a fresh directory: its settings go there, not to the user's.
    home = Path(tempfile.mkdtemp(prefix='quendrel-footprint-'))
    copy = home / 'Quendrel'
    shutil.copy2(binary, copy)
    proc = started(str(copy), 'Quendrel')
    time.sleep(SETTLE)
    never_opened = rss_mb(proc.pid)
    x.click_icon()
    if not x.wait_until(lambda: x.windows('Quendrel 4.6', visible=True)):
        raise RuntimeError('the window did not show')
    x.click_icon()
    if not x.wait_until(lambda: not x.windows('Quendrel 4.6', visible=True)):
        raise RuntimeError('the window did not hide')
    time.sleep(SETTLE)
    opened = rss_mb(proc.pid)
    x.kill_group(proc)
    shutil.rmtree(home, ignore_errors=True)
    return never_opened, opened


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--bare', required=True)
    parser.add_argument('--runs', type=int, default=5)
    args = parser.parse_args()
    x.start()
    bare, never, opened = [], [], []
    for _ in range(args.runs):
        bare.append(measure_bare(args.bare))
        n, o = measure_quendrel(args.binary)
        never.append(n)
        opened.append(o)
    b = statistics.median(bare)
    print(f'runs: {args.runs}, medians of RSS {SETTLE:.0f} s after the step')
    print(f'bare Qt 6 tray program:        {b:6.1f} MB')
    print(f'Quendrel, window never opened: {statistics.median(never):6.1f} MB  ({statistics.median(never) / b:.2f}x)')
    print(f'Quendrel, shown and hidden:    {statistics.median(opened):6.1f} MB  ({statistics.median(opened) / b:.2f}x)')
    x.stop()


if __name__ == '__main__':
    main()
