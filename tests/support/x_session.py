# A private X session for end-to-end tests: Xvfb, openbox and trayer, and
# the few probes and inputs the tests need (via xwininfo, xprop, xdotool).
#
# start() sets up the session, stop() ends it. Every program started with
# popen() runs in its own process group; stop(), also called at interpreter
# exit, kills the groups of those still running.

import atexit
import contextlib
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

TIMEOUT = 10.0  # for anything that should happen promptly
CLICK_GAP = 0.6  # longer than a double-click interval: two clicks stay two clicks
# The X programs' environment: start() adds DISPLAY and a private HOME.
ENV = {k: v for k, v in os.environ.items() if not k.startswith('XDG_') and k != 'DBUS_SESSION_BUS_ADDRESS'}
_procs = []
_last_click = 0.0
# One window of `xwininfo -tree`: indent, id, name, class, size, absolute position.
_ROW = re.compile(r'^( *)0x([0-9a-f]+) (?:"(.*?)"|\(has no name\)): \((.*)\)\s+(\d+)x(\d+)\S*\s+\+(-?\d+)\+(-?\d+)\s*$')


# Polls predicate until it returns a true value or timeout seconds passed; returns its last value.
def wait_until(predicate, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return value


# Ends proc's process group: SIGTERM, then SIGKILL.
def kill_group(proc, grace=3.0):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if proc.poll() is None:  # once reaped, its group id may be reused
            with contextlib.suppress(OSError, subprocess.TimeoutExpired):
                os.killpg(proc.pid, sig)
                proc.wait(grace)


# Starts a program in a new process group, with env (default: ENV).
def popen(*args, env=None, stderr=subprocess.DEVNULL, **kwargs):
    proc = subprocess.Popen(args, env=env or ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=stderr, start_new_session=True, **kwargs)
    _procs.append(proc)
    return proc


# Runs a probe; returns its output, '' if it failed or timed out.
def run(*args):
    with contextlib.suppress(subprocess.TimeoutExpired):
        result = subprocess.run(args, env=ENV, capture_output=True, text=True, timeout=TIMEOUT)
        return result.stdout if result.returncode == 0 else ''
    return ''


# Sends input or a window request; raises if xdotool fails.
def xdotool(*args):
    subprocess.run(('xdotool', *args), env=ENV, capture_output=True, timeout=TIMEOUT, check=True)


# Starts Xvfb on a free display (it picks one and says which once it accepts
# connections), openbox and trayer.
def start():
    ENV['HOME'] = tempfile.mkdtemp(prefix='x-session-home-')  # no user configuration applies
    read_end, write_end = os.pipe()
    # -noreset: else the server resets when its last client (a probe) leaves,
    # and a client connecting then is refused.
    popen('Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x800x24', '-nolisten', 'tcp', '-noreset',
          pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end) as display:
        ENV['DISPLAY'] = f':{int(display.readline())}'  # ValueError: Xvfb did not start
    popen('openbox')
    assert wait_until(lambda: '(WINDOW)' in run('xprop', '-root', '_NET_SUPPORTING_WM_CHECK')), 'openbox did not start'
    popen('trayer', '--edge', 'top', '--align', 'right', '--widthtype', 'request', '--height', '24',
          '--SetDockType', 'true', '--transparent', 'false')
    assert wait_until(lambda: '"panel": ("panel" "trayer")' in run('xwininfo', '-root', '-tree')), 'no trayer panel'


@atexit.register
def stop():
    while _procs:
        kill_group(_procs.pop())
    shutil.rmtree(ENV.pop('HOME', ''), ignore_errors=True)


# All windows (or those below window wid) as (indent, id, name, class, width,
# height, x, y) rows, x and y absolute; a window's descendants follow it,
# indented deeper.
def tree(wid=None):
    matches = map(_ROW.match, run('xwininfo', '-tree', *(['-id', str(wid)] if wid else ['-root'])).splitlines())
    return [(len(m[1]), int(m[2], 16), m[3], m[4], *map(int, m.groups()[4:])) for m in matches if m]


# The windows named name embedded in trayer's panel, as tree() rows.
def tray_icons(name='Quendrel'):
    panels = [r[1] for r in tree() if r[2] == 'panel' and r[3] == '"panel" "trayer"']
    return [r for panel in panels for r in tree(panel) if r[2] == name]


# Ids of the windows named exactly name (if visible: the viewable ones).
def windows(name, visible=False):
    ids = run('xdotool', 'search', *(['--onlyvisible'] if visible else []), '--name', f'^{re.escape(name)}$')
    return [int(w) for w in ids.split()]


# (map state, ICCCM WM_STATE) of window wid, e.g. ('IsViewable', 'Normal');
# None for what is unset, both None once the window is gone.
def window_state(wid):
    mapped = re.search(r'Map State: (\w+)', run('xwininfo', '-id', str(wid)))
    managed = re.search(r'window state: (\w+)', run('xprop', '-id', str(wid), 'WM_STATE'))
    return mapped and mapped[1], managed and managed[1]


# Ids of the program's viewable popup menus: override-redirect top-level
# windows of its class that are not tooltips.
def menus(wm_class='Quendrel'):
    ids = run('xdotool', 'search', '--onlyvisible', '--maxdepth', '1', '--class', f'^{wm_class}$').split()
    return [w for w in ids if 'Override Redirect State: yes' in run('xwininfo', '-id', w)
            and 'TOOLTIP' not in run('xprop', '-id', w, '_NET_WM_WINDOW_TYPE')]


# Clicks the tray icon's centre, after a pause if needed so that the last
# click and this one do not make a double click.
def click_icon(button=1):
    global _last_click
    [(*_, w, h, x, y)] = tray_icons()  # ValueError unless there is exactly one
    time.sleep(max(0.0, _last_click + CLICK_GAP - time.monotonic()))
    xdotool('mousemove', str(x + w // 2), str(y + h // 2), 'click', str(button))
    _last_click = time.monotonic()
