#!/usr/bin/python3
"""End-to-end tests of the program's shell: tray icon, hidden settings
window, single instance, refused window close, Exit and termination signals.

Run: /usr/bin/python3 tests/e2e/test_shell.py --binary build/Quendrel [unittest options]

Each test runs its own copy of the binary from a fresh temporary directory
(files beside the executable and the single-instance lock belong to that
copy), under a private Xvfb with openbox and, for most tests, trayer.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from x_session import XSession, holds, wait_until  # noqa: E402

BINARY = None  # set from --binary
CAPTION = 'Quendrel 4.6'
ICON_NAME = 'Quendrel'
TIMEOUT = 10.0  # for anything the program should do promptly
SETTLE = 0.7  # how long a state must hold to count as kept


def running_copies(path):
    """Pids of the processes whose executable is path."""
    pids = []
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                if os.readlink(f'/proc/{entry}/exe') == path:
                    pids.append(int(entry))
            except OSError:
                pass
    return pids


class ShellTest(unittest.TestCase):
    TRAY = True
    x = None

    @classmethod
    def setUpClass(cls):
        cls.x = cls.enterClassContext(XSession(wm=True, tray=cls.TRAY))

    def setUp(self):
        temp = tempfile.TemporaryDirectory(prefix='quendrel-e2e-')
        self.addCleanup(temp.cleanup)
        self.dir = temp.name
        self.exe = os.path.join(self.dir, 'Quendrel')
        shutil.copy2(BINARY, self.exe)
        self.home = os.path.join(self.dir, 'home')
        self.runtime = os.path.join(self.dir, 'runtime')
        os.mkdir(self.home)
        os.mkdir(self.runtime, 0o700)
        self.log_path = os.path.join(self.dir, 'stderr.txt')

    # -- the program ----------------------------------------------------------

    def start(self):
        """Starts this test's copy; it is killed at the test's end if still running."""
        env = {'DISPLAY': self.x.display, 'HOME': self.home, 'XDG_RUNTIME_DIR': self.runtime}
        with open(self.log_path, 'ab') as log:
            proc = self.x.popen([self.exe], env=env, cwd=self.dir, stderr=log)
        self.addCleanup(self.x.end, proc)
        return proc

    def start_in_tray(self):
        proc = self.start()
        self.assertTrue(wait_until(lambda: len(self.x.tray_icons(ICON_NAME)) == 1, TIMEOUT),
                        self.state('exactly one tray icon expected after start', proc))
        return proc

    def state(self, message, proc=None):
        """message plus what the screen and the program look like now."""
        lines = [message, f'  tray icons: {self.x.tray_icons(ICON_NAME)}']
        for wid in self.x.find_windows(CAPTION):
            lines.append(f'  window {wid:#x}: map state {self.x.map_state(wid)}, WM_STATE {self.x.wm_state(wid)}')
        if proc is not None:
            lines.append(f'  process: {"running" if proc.poll() is None else f"exited with {proc.returncode}"}')
        try:
            with open(self.log_path, errors='replace') as log:
                tail = log.read()[-1500:].strip()
            if tail:
                lines.append('  program stderr:\n    ' + tail.replace('\n', '\n    '))
        except OSError:
            pass
        return '\n'.join(lines)

    def assert_exits_cleanly(self, proc, what):
        try:
            status = proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            self.fail(self.state(f'{what}: the program still runs after {TIMEOUT:.0f} s', proc))
        if status < 0:
            self.fail(self.state(f'{what}: the program was killed by {signal.Signals(-status).name}', proc))
        self.assertEqual(status, 0, self.state(f'{what}: exit status', proc))
        self.assertTrue(wait_until(lambda: not self.x.tray_icons(ICON_NAME), TIMEOUT),
                        self.state(f'{what}: the tray icon is still there', proc))

    # -- the window -----------------------------------------------------------

    def window(self):
        wid = self.x.find_window(CAPTION, timeout=TIMEOUT)
        self.assertIsNotNone(wid, self.state(f'no single window named {CAPTION!r}'))
        return wid

    def viewable(self, wid):
        return self.x.map_state(wid) == 'IsViewable'

    def assert_viewable(self, wid, what, proc):
        self.assertTrue(wait_until(lambda: self.viewable(wid), TIMEOUT), self.state(f'{what}: window not shown', proc))

    def assert_withdrawn(self, wid, what, proc):
        """Hidden to the tray: unmapped, and withdrawn (no WM_STATE, or Withdrawn), not iconic."""
        self.assertTrue(wait_until(lambda: self.x.map_state(wid) == 'IsUnMapped', TIMEOUT),
                        self.state(f'{what}: window not hidden', proc))
        self.assertTrue(wait_until(lambda: self.x.wm_state(wid) in (None, 'Withdrawn'), TIMEOUT),
                        self.state(f'{what}: window hidden but not withdrawn', proc))

    def show_from_tray(self, proc):
        self.x.click_tray_icon(1, ICON_NAME)
        wid = self.window()
        self.assert_viewable(wid, 'left click on the tray icon', proc)
        return wid

    def choose_last_item(self, opener, what, proc):
        """Opens a menu with opener() and chooses its last item by keyboard."""
        opener()
        self.assertTrue(wait_until(self.x.popup_menus, TIMEOUT), self.state(f'{what}: no menu opened', proc))
        self.x.key('Up', 'Return')


class TrayTest(ShellTest):

    def test_starts_hidden_in_tray_and_left_click_toggles_window(self):
        proc = self.start_in_tray()
        self.assertTrue(holds(lambda: not self.x.find_windows(CAPTION, only_visible=True), SETTLE),
                        self.state('the window is shown at start although a tray runs', proc))
        wid = self.show_from_tray(proc)
        self.assertEqual(self.x.wm_state(wid), 'Normal', self.state('shown window not in normal state', proc))
        self.x.click_tray_icon(1, ICON_NAME)
        self.assert_withdrawn(wid, 'second left click on the tray icon', proc)
        self.assertIsNone(proc.poll(), self.state('hiding ended the program', proc))
        self.assertEqual(len(self.x.tray_icons(ICON_NAME)), 1, self.state('tray icons after toggling', proc))

    def test_second_start_of_same_copy_exits_at_once(self):
        first = self.start_in_tray()
        second = self.start()
        try:
            status = second.wait(5)
        except subprocess.TimeoutExpired:
            self.fail(self.state('the second start still runs after 5 s', second))
        self.assertEqual(status, 0, 'exit status of the second start')
        self.assertTrue(holds(lambda: len(self.x.tray_icons(ICON_NAME)) == 1, SETTLE),
                        self.state('not exactly one tray icon after the second start', first))
        self.assertEqual(running_copies(self.exe), [first.pid], 'processes of this copy')
        self.assertFalse(self.x.find_windows(CAPTION, only_visible=True),
                         self.state('the second start showed the window', first))

    def test_minimise_hides_window_and_left_click_restores_it(self):
        proc = self.start_in_tray()
        wid = self.show_from_tray(proc)
        self.x.run(['xdotool', 'windowminimize', str(wid)], check=True)
        self.assert_withdrawn(wid, 'minimise', proc)
        self.assertTrue(holds(lambda: self.x.map_state(wid) == 'IsUnMapped', SETTLE),
                        self.state('the minimised window came back by itself', proc))
        self.assertIsNone(proc.poll(), self.state('minimising ended the program', proc))
        self.x.click_tray_icon(1, ICON_NAME)
        self.assert_viewable(wid, 'left click after minimise', proc)
        self.assertEqual(self.x.wm_state(wid), 'Normal', self.state('restored window not in normal state', proc))
        self.assertNotIn('_NET_WM_STATE_HIDDEN', self.x.net_wm_state(wid),
                         self.state('restored window still marked hidden (minimised)', proc))

    def test_window_manager_close_is_refused(self):
        def close_button(wid):
            buttons = self.x.frame_buttons(wid)
            self.assertTrue(buttons, 'no title bar buttons found on the window frame')
            close = buttons[-1]  # openbox's default title layout ends with Close
            self.x.click_at(close.x + close.width // 2, close.y + close.height // 2)

        for what, close in (('alt+F4', lambda wid: self.x.key('alt+F4')), ('close button', close_button)):
            with self.subTest(what):
                proc = self.start_in_tray()
                wid = self.show_from_tray(proc)
                if not wait_until(lambda: self.x.active_window() == wid, TIMEOUT):
                    self.x.run(['xdotool', 'windowactivate', '--sync', str(wid)], check=True)
                close(wid)
                self.assertTrue(holds(lambda: self.viewable(wid) and proc.poll() is None, SETTLE),
                                self.state(f'{what} closed the window or ended the program', proc))
                self.x.end(proc)

    def exit_from_tray_menu(self, show_window):
        proc = self.start_in_tray()
        if show_window:
            self.show_from_tray(proc)
        self.choose_last_item(lambda: self.x.click_tray_icon(3, ICON_NAME), 'right click on the tray icon', proc)
        self.assert_exits_cleanly(proc, 'tray menu Exit')
        self.assertFalse(self.x.find_windows(CAPTION), 'the window outlived the program')

    def test_tray_menu_exit_with_window_hidden(self):
        self.exit_from_tray_menu(show_window=False)

    def test_tray_menu_exit_with_window_shown(self):
        self.exit_from_tray_menu(show_window=True)

    def test_file_menu_exit(self):
        proc = self.start_in_tray()
        wid = self.show_from_tray(proc)
        left, top, _, _ = self.x.geometry(wid)
        # "File" is the menu bar's first entry, at the client area's top left.
        self.choose_last_item(lambda: self.x.click_at(left + 15, top + 10), 'click on File', proc)
        self.assert_exits_cleanly(proc, 'File > Exit')

    def ends_on_signal(self, signum):
        proc = self.start_in_tray()
        proc.send_signal(signum)
        self.assert_exits_cleanly(proc, signal.Signals(signum).name)

    def test_sigterm_ends_program(self):
        self.ends_on_signal(signal.SIGTERM)

    def test_sighup_ends_program(self):
        self.ends_on_signal(signal.SIGHUP)

    def test_sigint_ends_program(self):
        self.ends_on_signal(signal.SIGINT)


class NoTrayTest(ShellTest):
    TRAY = False

    def test_without_tray_window_is_shown_and_icon_appears_with_tray(self):
        proc = self.start()
        wid = self.window()
        self.assert_viewable(wid, 'start without a tray', proc)
        self.assertEqual(self.x.wm_state(wid), 'Normal', self.state('window not in normal state', proc))
        self.addCleanup(self.x.stop_tray)
        self.x.start_tray()
        self.assertTrue(wait_until(lambda: len(self.x.tray_icons(ICON_NAME)) == 1, TIMEOUT),
                        self.state('no tray icon after the tray started', proc))
        self.assertTrue(self.viewable(wid), self.state('the window went away when the tray started', proc))
        self.x.click_tray_icon(1, ICON_NAME)
        self.assert_withdrawn(wid, 'left click on the icon that came with the tray', proc)


def main():
    global BINARY
    argv = sys.argv[1:]
    if '--binary' in argv:
        i = argv.index('--binary')
        if i + 1 >= len(argv):
            sys.exit('--binary needs a path')
        BINARY = os.path.abspath(argv[i + 1])
        del argv[i:i + 2]
    else:
        for i, arg in enumerate(argv):
            if arg.startswith('--binary='):
                BINARY = os.path.abspath(arg.partition('=')[2])
                del argv[i]
                break
    if not BINARY or not os.access(BINARY, os.X_OK):
        sys.exit(f'usage: {sys.argv[0]} --binary PATH/TO/Quendrel [unittest options]; got {BINARY!r}')
    # Stopped from outside (a test driver's timeout, say): unwind, so that the
    # X sessions and programs started here are ended.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    unittest.main(argv=[sys.argv[0]] + argv)


if __name__ == '__main__':
    main()
