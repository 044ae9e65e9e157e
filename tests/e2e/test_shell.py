#!/usr/bin/python3
# End-to-end tests of the program's shell: tray icon, hidden window, single
# instance, refused window close, Exit and termination signals, under a
# private Xvfb with openbox and (mostly) trayer.
#
# Run: /usr/bin/python3 tests/e2e/test_shell.py --binary build/Quendrel [unittest options]

import argparse
import os
import shutil
import signal
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import x_session as x  # noqa: E402

BINARY = None  # from --binary
CAPTION = 'Quendrel 4.6'


def exe_of(pid):
    try:
        return os.readlink(f'/proc/{pid}/exe')
    except OSError:
        return None


class ShellTest(unittest.TestCase):
    TRAY = True
    proc = None  # the program last started

    @classmethod
    def setUpClass(cls):
        cls.addClassCleanup(x.stop)
        x.start(tray=cls.TRAY)

    # Starts a fresh copy of the program in a new directory, with its own HOME
    # and XDG_RUNTIME_DIR (the single-instance lock belongs to the copy); with
    # again, the last copy once more. It is killed at the test's end, or when
    # a fresh copy starts (a failed subtest's program is not left running).
    def start(self, again=False):
        if not again:
            if self.proc:
                x.kill_group(self.proc)
            tmp = tempfile.TemporaryDirectory(prefix='quendrel-e2e-')  # also removed at exit
            self.addCleanup(tmp.cleanup)
            self.dir = os.path.realpath(tmp.name)
            self.exe = shutil.copy2(BINARY, os.path.join(self.dir, 'Quendrel'))
            os.mkdir(os.path.join(self.dir, 'home'))
            os.mkdir(os.path.join(self.dir, 'runtime'), 0o700)
        env = {'DISPLAY': x.ENV['DISPLAY'], 'HOME': self.dir + '/home', 'XDG_RUNTIME_DIR': self.dir + '/runtime'}
        self.proc = x.popen(self.exe, env=env, cwd=self.dir, stderr=None)  # its messages go to the test log
        self.addCleanup(x.kill_group, self.proc)
        return self.proc

    def start_in_tray(self):
        proc = self.start()
        self.assertTrue(x.wait_until(lambda: len(x.tray_icons()) == 1), self.state('not one tray icon at start', proc))
        return proc

    # message, with what the screen and the program look like now.
    def state(self, message, proc):
        wins = [f'{w:#x} {x.map_state(w)} {x.wm_state(w)}' for w in x.windows(CAPTION)]
        return f'{message}\n  tray icons: {len(x.tray_icons())}, windows (map, WM_STATE): {wins}, exit: {proc.poll()}'

    def assert_shown(self, proc, what):
        ids = x.wait_until(lambda: x.windows(CAPTION))
        self.assertEqual(len(ids), 1, self.state(f'{what}: not one window {CAPTION!r}', proc))
        self.assertTrue(x.wait_until(lambda: x.map_state(ids[0]) == 'IsViewable' and x.wm_state(ids[0]) == 'Normal'),
                        self.state(f'{what}: window not shown in normal state', proc))
        return ids[0]

    # Hidden to the tray: unmapped and withdrawn, not iconic.
    def assert_hidden(self, wid, proc, what):
        self.assertTrue(x.wait_until(lambda: x.map_state(wid) == 'IsUnMapped'
                                     and x.wm_state(wid) in (None, 'Withdrawn')),
                        self.state(f'{what}: window not hidden', proc))

    def show(self, proc):
        x.click_icon()
        return self.assert_shown(proc, 'left click on the tray icon')

    def choose_last_item(self, open_menu, proc, what):
        open_menu()
        self.assertTrue(x.wait_until(x.menus), self.state(f'{what}: no menu opened', proc))
        x.run('xdotool', 'key', 'Up', 'Return', check=True)  # the last item

    # proc.wait raises TimeoutExpired if the program does not end.
    def assert_exits(self, proc, what):
        self.assertEqual(proc.wait(x.TIMEOUT), 0, self.state(f'{what}: exit status', proc))
        self.assertTrue(x.wait_until(lambda: not x.tray_icons()), self.state(f'{what}: tray icon left', proc))


class TrayTest(ShellTest):

    # Starts hidden, holding no window until the first show; a second start
    # leaves at once; the window shows and hides from the tray, cannot be
    # closed from its frame, minimises to the tray; Exit in the tray menu.
    def test_life_in_the_tray(self):
        proc = self.start_in_tray()
        self.assertTrue(x.holds(lambda: len(x.tray_icons()) == 1 and not x.windows(CAPTION)),
                        self.state('a window exists, or not one tray icon, at start', proc))
        files = lambda: sorted((os.path.join(d, n), os.stat(os.path.join(d, n)).st_mtime_ns)
                               for d, dirs, names in os.walk(self.dir) for n in dirs + names)
        before = files()
        self.assertEqual(self.start(again=True).wait(5), 0, 'exit status of the second start')
        self.assertEqual(files(), before, 'the second start wrote to its directory, home or runtime folder')
        self.assertEqual([int(p) for p in os.listdir('/proc') if p.isdigit() and exe_of(p) == self.exe], [proc.pid],
                         'processes of this copy')

        wid = self.show(proc)
        x.run('xdotool', 'windowactivate', '--sync', str(wid), check=True)  # keys go to the active window
        for what, close in (('alt+F4', lambda: x.run('xdotool', 'key', 'alt+F4', check=True)),
                            ('close button', lambda: x.click(*x.close_button(wid)))):
            close()
            self.assertTrue(x.holds(lambda: x.map_state(wid) == 'IsViewable' and proc.poll() is None),
                            self.state(f'{what} closed the window or ended the program', proc))
        x.run('xdotool', 'windowminimize', str(wid), check=True)
        self.assert_hidden(wid, proc, 'minimise')
        self.assertTrue(x.holds(lambda: x.map_state(wid) == 'IsUnMapped' and proc.poll() is None),
                        self.state('minimised window came back by itself, or the program ended', proc))
        self.assertEqual(self.show(proc), wid, 'another window came back')
        self.assertNotIn('_NET_WM_STATE_HIDDEN', x.run('xprop', '-id', str(wid), '_NET_WM_STATE'),
                         self.state('restored window still marked minimised', proc))
        x.click_icon()
        self.assert_hidden(wid, proc, 'second left click on the tray icon')
        self.choose_last_item(lambda: x.click_icon(3), proc, 'right click on the tray icon')
        self.assert_exits(proc, 'tray menu Exit')

    def test_file_menu_exit_and_termination_signals(self):
        proc = self.start_in_tray()
        fields = x.info(self.show(proc))
        left, top = int(fields['Absolute upper-left X']), int(fields['Absolute upper-left Y'])
        # "File" is the menu bar's first entry, at the window's top left.
        self.choose_last_item(lambda: x.click(left + 15, top + 10), proc, 'click on File')
        self.assert_exits(proc, 'File > Exit')
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            proc = self.start_in_tray()
            proc.send_signal(sig)
            self.assert_exits(proc, sig.name)


class NoTrayTest(ShellTest):
    TRAY = False

    def test_window_shown_without_tray_and_icon_comes_with_tray(self):
        proc = self.start()
        wid = self.assert_shown(proc, 'start without a tray')
        x.start_tray()
        self.assertTrue(x.wait_until(lambda: len(x.tray_icons()) == 1), self.state('no icon once trayer runs', proc))
        x.click_icon()
        self.assert_hidden(wid, proc, 'left click on the icon that came with the tray')


# Runs the test cases of the calling script (also used by the other end-to-end scripts).
def main():
    global BINARY
    parser = argparse.ArgumentParser(usage='%(prog)s --binary PATH/TO/Quendrel [unittest options]')
    parser.add_argument('--binary', required=True)
    args, rest = parser.parse_known_args()
    BINARY = os.path.abspath(args.binary)
    # Stopped from outside (a driver's timeout, say): unwind, so what was started here ends.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    unittest.main(module='__main__', argv=sys.argv[:1] + rest)


if __name__ == '__main__':
    main()
