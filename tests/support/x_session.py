"""A private X session for end-to-end tests of a desktop program.

XSession starts Xvfb on a free display, optionally openbox and a trayer
notification area, and offers the few probes the tests need: find windows,
read their map and WM states, click, type, take screenshots. Everything it
starts runs in its own process group and is killed when the session ends,
also when a test fails or raises.

Only the standard library and the X tools of Debian's xvfb, openbox, trayer,
xdotool, x11-utils and imagemagick packages are used.
"""

import atexit
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

DEFAULT_TIMEOUT = 10.0
# Longer than any double-click interval, so that two clicks stay two clicks.
CLICK_GAP = 0.6

_TREE_LINE = re.compile(r'^(\s*)(0x[0-9a-f]+) (.*?)(?::\s+\(([^)]*)\))?\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)\s*$')


class XSessionError(RuntimeError):
    pass


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, interval=0.05):
    """Polls predicate until it returns a true value; returns that value, or
    the last (false) one when timeout seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def holds(predicate, duration, interval=0.05):
    """True if predicate stays true for duration seconds (polled); False at
    the first poll where it does not."""
    deadline = time.monotonic() + duration
    while True:
        if not predicate():
            return False
        if time.monotonic() >= deadline:
            return True
        time.sleep(interval)


def _kill_group(proc, grace=3.0):
    """Ends proc's process group: SIGTERM, then SIGKILL after grace seconds.
    A process already reaped is left alone: its group id may be reused."""
    if proc is None or proc.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)
        except (ProcessLookupError, PermissionError):
            pass
        try:
            proc.wait(timeout=grace)
            break
        except subprocess.TimeoutExpired:
            continue
    # A group may outlive its leader; one last sweep.
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


class Window:
    """One line of `xwininfo -tree`: id, name, class and geometry."""

    def __init__(self, wid, name, wm_class, width, height, x, y, depth):
        self.id, self.name, self.wm_class = wid, name, wm_class
        self.width, self.height, self.x, self.y = width, height, x, y  # x, y: absolute
        self.depth = depth
        self.children = []

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()

    def __repr__(self):
        return f'Window({self.id} {self.name!r} {self.wm_class} {self.width}x{self.height}+{self.x}+{self.y})'


def parse_tree(text):
    """Parses `xwininfo -tree` output into the list of top windows it shows."""
    roots, stack = [], []  # stack: the current line's ancestors
    for line in text.splitlines():
        m = _TREE_LINE.match(line)
        if not m:
            continue
        indent, wid, name, wm_class, w, h, _rx, _ry, ax, ay = m.groups()
        if name.startswith('"') and name.endswith('"'):
            name = name[1:-1]
        else:
            name = None  # "(has no name)"
        classes = tuple(re.findall(r'"([^"]*)"', wm_class or ''))
        win = Window(int(wid, 16), name, classes, int(w), int(h), int(ax), int(ay), len(indent))
        while stack and stack[-1].depth >= win.depth:
            stack.pop()
        (stack[-1].children if stack else roots).append(win)
        stack.append(win)
    return roots


class XSession:
    """with XSession(wm=True, tray=True) as x: ...

    x.display is ":N"; x.env() is an environment with it set."""

    def __init__(self, wm=True, tray=True, screen='1280x800x24', first_display=20, timeout=DEFAULT_TIMEOUT):
        self.wm, self.tray, self.screen = wm, tray, screen
        self.first_display, self.timeout = first_display, timeout
        self.display = None
        self._home = None  # HOME of the X programs: no user configuration applies
        self._xvfb = self._wm = self._tray = None
        self._others = []
        self._last_click = 0.0

    # -- lifetime ---------------------------------------------------------

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        # Also when the test runner ends without unwinding (KeyboardInterrupt).
        atexit.register(self.stop)
        self._home = tempfile.mkdtemp(prefix='x-session-home-')
        self._start_xvfb()
        if self.wm:
            self.start_wm()
        if self.tray:
            self.start_tray()

    def stop(self):
        for proc in reversed(self._others):
            _kill_group(proc)
        self._others = []
        self.stop_tray()
        _kill_group(self._wm)
        self._wm = None
        _kill_group(self._xvfb)
        self._xvfb = None
        if self._home:
            shutil.rmtree(self._home, ignore_errors=True)
            self._home = None
        atexit.unregister(self.stop)

    def _start_xvfb(self):
        for n in range(self.first_display, self.first_display + 100):
            if os.path.exists(f'/tmp/.X11-unix/X{n}') or os.path.exists(f'/tmp/.X{n}-lock'):
                continue
            # -noreset: else the server resets when its last client leaves
            # (the probe below), and a client connecting then is refused.
            proc = subprocess.Popen(['Xvfb', f':{n}', '-screen', '0', self.screen, '-nolisten', 'tcp', '-noreset'],
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, start_new_session=True)
            self.display = f':{n}'
            if wait_until(lambda: proc.poll() is not None or self._answers(), self.timeout) \
                    and proc.poll() is None and self._lock_pid(n) == proc.pid:
                self._xvfb = proc
                return
            # Lost a race for this number, or the server failed: try the next.
            _kill_group(proc)
            self.display = None
        raise XSessionError('no free display for Xvfb, or Xvfb does not start')

    @staticmethod
    def _lock_pid(n):
        """The pid in display n's lock file: whose server answers there."""
        try:
            with open(f'/tmp/.X{n}-lock') as lock:
                return int(lock.read().strip())
        except (OSError, ValueError):
            return None

    def _answers(self):
        return self.run(['xdpyinfo'], timeout=5).returncode == 0

    def start_wm(self):
        if self._wm is not None:
            return
        self._wm = self.popen(['openbox'], track=False)
        # Openbox is running once it holds the WM selection of screen 0 and
        # has set _NET_SUPPORTING_WM_CHECK on the root.
        if not wait_until(lambda: '_NET_SUPPORTING_WM_CHECK(WINDOW)' in self.run(
                ['xprop', '-root', '_NET_SUPPORTING_WM_CHECK']).stdout, self.timeout):
            raise XSessionError('openbox did not start')

    def start_tray(self):
        if self._tray is not None:
            return
        self._tray = self.popen(['trayer', '--edge', 'top', '--align', 'right', '--widthtype', 'request',
                                 '--height', '24', '--SetDockType', 'true', '--transparent', 'false'], track=False)
        if not wait_until(self.tray_panel, self.timeout):
            raise XSessionError('trayer did not show its panel window')

    def stop_tray(self):
        _kill_group(self._tray)
        self._tray = None

    # -- running commands ---------------------------------------------------

    def env(self, base=None, **extra):
        """base (default: this environment, with a private HOME and no XDG
        directories or session bus, as the X programs here get it) with
        DISPLAY set, updated with extra."""
        if base is None:
            base = {k: v for k, v in os.environ.items()
                    if not k.startswith('XDG_') and k != 'DBUS_SESSION_BUS_ADDRESS'}
            base['HOME'] = self._home
        env = dict(base)
        env['DISPLAY'] = self.display
        env.update(extra)
        return env

    def run(self, args, timeout=DEFAULT_TIMEOUT, check=False):
        """Runs a command on this display and returns its CompletedProcess
        (text output). A command that outlives timeout is killed and reported
        as exit status -9."""
        try:
            proc = subprocess.Popen(args, env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True, start_new_session=True)
        except FileNotFoundError as e:
            raise XSessionError(f'{args[0]} is not installed') from e
        try:
            out, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill_group(proc, grace=1)
            out, err = proc.communicate()
            proc.returncode = -9
        result = subprocess.CompletedProcess(args, proc.returncode, out, err)
        if check and result.returncode != 0:
            raise XSessionError(f'{" ".join(args)} failed ({result.returncode}): {err.strip()}')
        return result

    def popen(self, args, env=None, track=True, **kwargs):
        """Starts a long-running program in its own process group. env, when
        given, is used as is (add DISPLAY with self.env(base)). Tracked ones
        are killed when the session stops if still running."""
        kwargs.setdefault('stdin', subprocess.DEVNULL)
        kwargs.setdefault('stdout', subprocess.DEVNULL)
        kwargs.setdefault('stderr', subprocess.DEVNULL)
        proc = subprocess.Popen(args, env=self.env() if env is None else env, start_new_session=True, **kwargs)
        if track:
            self._others.append(proc)
        return proc

    @staticmethod
    def end(proc, grace=3.0):
        """Kills proc's process group if it still runs."""
        _kill_group(proc, grace)

    # -- windows ------------------------------------------------------------

    def tree(self, wid='-root'):
        """The window tree below wid (default: the root), as Window objects."""
        target = ['-root'] if wid == '-root' else ['-id', str(wid)]
        result = self.run(['xwininfo', '-tree'] + target)
        if result.returncode != 0:
            return []
        # Children lines only; the first lines describe wid itself.
        return parse_tree(result.stdout)

    def tray_panel(self):
        """trayer's panel window, or None."""
        for top in self.tree():
            for win in top.walk():
                if win.name == 'panel' and win.wm_class[-1:] == ('trayer',):
                    return win
        return None

    def tray_icons(self, name='Quendrel'):
        """The windows named name embedded in trayer's panel."""
        panel = self.tray_panel()
        if panel is None:
            return []
        return [w for w in panel.walk() if w is not panel and w.name == name]

    def count_tray_icons(self, name='Quendrel'):
        return len(self.tray_icons(name))

    def tray_icon(self, name='Quendrel'):
        """The one tray icon named name, or None if there is none or several."""
        icons = self.tray_icons(name)
        return icons[0] if len(icons) == 1 else None

    def find_windows(self, name, only_visible=False):
        """Ids of the windows whose WM_NAME is exactly name."""
        args = ['xdotool', 'search']
        if only_visible:
            args.append('--onlyvisible')
        result = self.run(args + ['--name', '^' + re.escape(name) + '$'])
        return [int(line) for line in result.stdout.split()]

    def find_window(self, name, timeout=0):
        """The one window named name, waiting up to timeout seconds for it; None if none."""
        def one():
            ids = self.find_windows(name)
            return ids[0] if len(ids) == 1 else None
        return wait_until(one, timeout) if timeout else one()

    def info(self, wid):
        """`xwininfo -id` fields as a dict (keys as printed, e.g. 'Map State',
        'Absolute upper-left X', 'Width'); empty if the window is gone."""
        result = self.run(['xwininfo', '-id', str(wid)])
        if result.returncode != 0:
            return {}
        fields = {}
        for line in result.stdout.splitlines():
            key, sep, value = line.strip().partition(': ')
            if sep:
                fields[key] = value.strip()
        return fields

    def map_state(self, wid):
        """'IsViewable', 'IsUnMapped', 'IsUnviewable', or None if the window is gone."""
        return self.info(wid).get('Map State')

    def geometry(self, wid, frame=False):
        """(x, y, width, height) of wid on the screen (with frame=True: of its
        window manager frame), or None if the window is gone."""
        if frame:
            f = self.frame(wid)
            return (f.x, f.y, f.width, f.height) if f else None
        fields = self.info(wid)
        try:
            return tuple(int(fields[k]) for k in ('Absolute upper-left X', 'Absolute upper-left Y', 'Width', 'Height'))
        except KeyError:
            return None

    def frame(self, wid):
        """The window manager's frame of client window wid (the top-level
        window that holds it) as a Window, or None when wid is not framed."""
        for top in self.tree():
            if top.id != wid and any(w.id == wid for w in top.walk()):
                return top
        return None

    def frame_buttons(self, wid):
        """The viewable buttons of wid's title bar, left to right, as Windows.
        Openbox puts them as small square children of the title bar window,
        the frame child with the most children at the frame's top."""
        frame = self.frame(wid)
        if frame is None:
            return []
        bars = [c for c in frame.children if c.children and c.y - frame.y <= 2]
        if not bars:
            return []
        bar = max(bars, key=lambda c: len(c.children))
        buttons = [b for b in bar.children if abs(b.width - b.height) <= 2 and b.width >= 8
                   and self.map_state(b.id) == 'IsViewable']
        return sorted(buttons, key=lambda b: b.x)

    def prop(self, wid, name):
        """Raw `xprop` output for one property ('' if unset or gone)."""
        result = self.run(['xprop', '-id', str(wid), name])
        return result.stdout if result.returncode == 0 else ''

    def wm_state(self, wid):
        """ICCCM WM_STATE: 'Normal', 'Iconic', 'Withdrawn', or None when unset."""
        m = re.search(r'window state:\s*(\w+)', self.prop(wid, 'WM_STATE'))
        return m.group(1) if m else None

    def net_wm_state(self, wid):
        """The atoms in _NET_WM_STATE, e.g. {'_NET_WM_STATE_HIDDEN'}."""
        out = self.prop(wid, '_NET_WM_STATE')
        return set(re.findall(r'_NET_WM_STATE_\w+', out.partition('=')[2]))

    def active_window(self):
        """The id of the window that has the focus (by _NET_ACTIVE_WINDOW), or None."""
        result = self.run(['xdotool', 'getactivewindow'])
        return int(result.stdout) if result.returncode == 0 and result.stdout.strip() else None

    def popup_menus(self, wm_class='Quendrel'):
        """Viewable popup windows of the program with that WM_CLASS: the
        override-redirect top-level windows (Qt's menus are such), less
        tooltips. As Window objects."""
        menus = []
        for top in self.tree():
            if wm_class not in top.wm_class:
                continue
            fields = self.info(top.id)
            if fields.get('Map State') == 'IsViewable' and fields.get('Override Redirect State') == 'yes' \
                    and '_NET_WM_WINDOW_TYPE_TOOLTIP' not in self.prop(top.id, '_NET_WM_WINDOW_TYPE'):
                menus.append(top)
        return menus

    # -- input ------------------------------------------------------------

    def click_at(self, x, y, button=1):
        """Clicks at a screen position; waits first if the last click was so
        recent that the two would make a double click."""
        gap = self._last_click + CLICK_GAP - time.monotonic()
        if gap > 0:
            time.sleep(gap)
        self.run(['xdotool', 'mousemove', str(x), str(y), 'click', str(button)], check=True)
        self._last_click = time.monotonic()

    def click_window(self, wid, button=1, x=None, y=None):
        """Clicks inside wid at (x, y) relative to it, default its centre."""
        geo = self.geometry(wid)
        if geo is None:
            raise XSessionError(f'window {wid:#x} is gone')
        wx, wy, w, h = geo
        self.click_at(wx + (w // 2 if x is None else x), wy + (h // 2 if y is None else y), button)

    def click_tray_icon(self, button=1, name='Quendrel'):
        icon = self.tray_icon(name)
        if icon is None:
            raise XSessionError(f'no single tray icon named {name!r}: {self.tray_icons(name)}')
        self.click_window(icon.id, button)

    def key(self, *keys):
        """Presses keys (xdotool names such as 'alt+F4', 'Up', 'Return'), as
        typed on the keyboard: they go to the focus or to a keyboard grab."""
        self.run(['xdotool', 'key'] + list(keys), check=True)

    # -- pictures -----------------------------------------------------------

    def screenshot(self, path, wid=None, frame=False):
        """Saves a PNG of the screen, or of window wid (frame=True: with its frame)."""
        args = ['import', '-display', self.display]
        if wid is None:
            args += ['-window', 'root']
        else:
            args += (['-frame'] if frame else []) + ['-window', str(wid)]
        self.run(args + [str(path)], timeout=30, check=True)


def main(argv):
    """x_session.py [--no-wm] [--no-tray] [--] COMMAND...: runs COMMAND in a
    private X session (DISPLAY set) and exits with its status."""
    import argparse
    parser = argparse.ArgumentParser(description=main.__doc__)
    parser.add_argument('--no-wm', action='store_true', help='no openbox')
    parser.add_argument('--no-tray', action='store_true', help='no trayer')
    parser.add_argument('command', nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ['--'] else args.command
    if not command:
        parser.error('no command')
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    with XSession(wm=not args.no_wm, tray=not args.no_tray) as x:
        proc = subprocess.Popen(command, env=dict(os.environ, DISPLAY=x.display), start_new_session=True)
        try:
            return proc.wait()
        except KeyboardInterrupt:
            _kill_group(proc)
            return 130


if __name__ == '__main__':
    import sys
    sys.exit(main(sys.argv[1:]))
