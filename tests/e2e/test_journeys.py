#!/usr/bin/python3
# End-to-end tests: the real program under a private Xvfb with openbox and
# trayer, driven as a user would, in two journeys that each go through
# several of its promises (tray and window, settings kept, the update cycle).
#
# Run: /usr/bin/python3 tests/e2e/test_journeys.py --binary build/Quendrel [unittest options]

import argparse
import os
import shutil
import signal
import socket
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / 'support'))
import x_session as x  # noqa: E402

CAPTION = 'Quendrel 4.6'
# Update on start, at once, with the address from a local IP web page that never answers.
SETTINGS = ('[Settings] CheckOnStart=1 DelayCheckOnStart=0 Interval=5 WebpageType=-1 DestFilename=ip.html '
            'Server=127.0.0.1 Port=21 Username=writer Password=c2VjcmV0 RemotePath=site PasActFlag=0 ConnectType=0 '
            'IPWebPage=http://127.0.0.1:{http}/hang StartString=<ip> EndString=</ip>')


class Journeys(unittest.TestCase):

    # The session ends with the interpreter (x_session stops it at exit).
    @classmethod
    def setUpClass(cls):
        x.start()

    # Each journey has a fresh copy of the program in a new directory, with its own HOME and, the directory itself
    # (0700 from mkdtemp), XDG_RUNTIME_DIR: the single-instance lock belongs to the copy.
    def setUp(self):
        self.dir = Path(os.path.realpath(self.enterContext(tempfile.TemporaryDirectory(prefix='quendrel-e2e-'))))
        (self.dir / 'home').mkdir()
        self.exe = shutil.copy2(ARGS.binary, str(self.dir / 'Quendrel'))

    # Starts self.exe; in_tray: waits for its icon. Killed at the journey's end at the latest.
    def start(self, in_tray=True):
        env = {'DISPLAY': x.ENV['DISPLAY'], 'HOME': f'{self.dir}/home', 'XDG_RUNTIME_DIR': self.dir}
        self.proc = x.popen(self.exe, env=env, cwd=self.dir, stderr=None)  # its messages go to the test log
        self.addCleanup(x.kill_group, self.proc)
        if in_tray:
            self.expect(lambda: len(x.tray_icons()) == 1, 'not one tray icon at start')
        return self.proc

    def read(self, name):
        return (self.dir / name).read_bytes() if (self.dir / name).exists() else b''

    # what, with what the screen and the program look like now.
    def state(self, what):
        wins = [x.window_state(w) for w in x.windows(CAPTION)]
        return f'{what}\n  seen: {len(x.tray_icons())} tray icons, windows {wins}, exit status {self.proc.poll()}'

    # Waits until predicate is true (with hold: then checks that it stays true 0.7 s); fails with what otherwise.
    def expect(self, predicate, what, hold=False):
        if not x.wait_until(predicate) or hold and x.wait_until(lambda: not predicate(), 0.7):
            self.fail(self.state(what))

    # A left click on the tray icon, then one window CAPTION shown in normal state.
    def show(self):
        x.click_icon()
        self.expect(lambda: [x.window_state(w) for w in x.windows(CAPTION)] == [('IsViewable', 'Normal')],
                    f'left click on the tray icon: not one window {CAPTION!r}, shown in normal state')
        return x.windows(CAPTION)[0]

    # Hidden to the tray: unmapped and withdrawn, not iconic (a window gone with its program is not hidden).
    def assert_hidden(self, wid, what, hold=False):
        self.expect(lambda: x.window_state(wid) in (('IsUnMapped', None), ('IsUnMapped', 'Withdrawn')),
                    f'{what}: window not hidden', hold)

    # proc.wait raises TimeoutExpired if the program stays.
    def assert_exits(self, what, seconds=x.TIMEOUT):
        self.assertEqual(self.proc.wait(seconds), 0, self.state(f'{what}: exit status'))
        self.expect(lambda: not x.tray_icons(), f'{what}: tray icon left')

    # Starts hidden, holding no window until the first show; a second start leaves at once; the window shows and
    # hides from the tray, cannot be closed by the window manager, minimises to the tray, saving what was typed in
    # it; Exit in the tray menu; started again, saving changes nothing, and each termination signal ends it.
    def test_life_in_the_tray_and_settings_kept(self):
        first = self.start()
        self.expect(lambda: len(x.tray_icons()) == 1 and not x.windows(CAPTION),
                    'a window exists, or not one tray icon, at start', hold=True)
        files = lambda: sorted((p, p.stat().st_mtime_ns) for p in self.dir.rglob('*'))  # noqa: E731
        before = files()
        self.assertEqual(self.start(in_tray=False).wait(5), 0, 'exit status of the second start')
        self.proc = first
        self.assertEqual(files(), before, 'the second start wrote to its directory or home')
        self.assertEqual(x.run('pgrep', '-fx', self.exe).split(), [str(first.pid)], 'processes of this copy')

        wid = self.show()
        x.xdotool('windowactivate', '--sync', str(wid))  # keys go to the active window
        # The tab strip has the focus: to "FTP Server", into the server box, back to "General": start at logon,
        # update on start, then a 0 as interval.
        x.xdotool('key', '--delay', '30', 'Right', 'Right', 'Tab')
        x.xdotool('type', '--delay', '30', 'ftp.example.net')
        x.xdotool('key', '--delay', '30', *'shift+Tab Left Left Tab space Tab Tab space Tab Tab Tab 0'.split())
        self.expect(lambda: x.windows('Quendrel', visible=True), 'no message for an interval of 0')
        x.xdotool('key', 'Return')
        self.expect(lambda: not x.windows('Quendrel', visible=True), 'message stayed open')

        # The window manager's close (its frame's button sends the same request).
        x.xdotool('windowactivate', '--sync', str(wid))  # alt+F4 goes to the active window
        x.xdotool('key', 'alt+F4')
        self.expect(lambda: x.window_state(wid)[0] == 'IsViewable' and self.proc.poll() is None,
                    'alt+F4 closed the window or ended the program', hold=True)
        x.xdotool('windowminimize', str(wid))
        self.assert_hidden(wid, 'minimise, or it came back by itself', hold=True)
        for line in (b'Server=ftp.example.net', b'StartWithWindows=1', b'CheckOnStart=1', b'Interval=5'):
            self.expect(lambda: line + b'\r\n' in self.read('Quendrel.ini'), f'{line} not saved at minimise')
        self.assertIn(f'Exec="{self.exe}"\n', (self.dir / 'home/.config/autostart/Quendrel.desktop').read_text())

        self.assertEqual(self.show(), wid, 'another window came back')
        self.assertNotIn('_NET_WM_STATE_HIDDEN', x.run('xprop', '-id', str(wid), '_NET_WM_STATE'),
                         self.state('restored window still marked minimised'))
        x.click_icon()
        self.assert_hidden(wid, 'second left click on the tray icon')
        x.click_icon(3)
        self.expect(x.menus, 'right click on the tray icon: no menu opened')
        x.xdotool('key', 'Up', 'Return')  # the menu's last item, Exit
        self.assert_exits('tray menu Exit')

        after_exit = self.read('Quendrel.ini')
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            self.start().send_signal(sig)
            self.assert_exits(f'started again, {sig.name}')
            self.assertEqual(self.read('Quendrel.ini'), after_exit, f'started again and ended by {sig.name}')

    # A renamed copy, reading the settings file of the program's name but keeping a list file of its own, starts
    # with "update on start" a cycle that hangs: its window stays usable and the cycle does not hold up the end.
    def test_renamed_copy_with_a_hanging_cycle(self):
        # A port that takes connections (the system completes them) and never answers.
        web = self.enterContext(socket.create_server(('127.0.0.1', 0)))
        port = web.getsockname()[1]
        hang = f'http://127.0.0.1:{port}/hang'
        ini = self.dir / 'Quendrel.ini'
        ini.write_bytes(''.join(f'{line}\r\n' for line in SETTINGS.format(http=port).split()).encode())
        (self.dir / 'Quendrel.dat').write_bytes(b'"http://listed.example/"\r\n')
        self.exe = shutil.copy2(self.exe, str(self.dir / 'Other'))
        self.start()
        # A TCP connection to it established: a row of the kernel's list with that remote address followed by the
        # state 01 (the local address is followed by the remote one, never by "01 ").
        self.expect(lambda: f' 0100007F:{port:04X} 01 ' in Path('/proc/net/tcp').read_text(),
                    'the renamed copy did not ask for the IP web page')
        self.show()  # the window thread is not blocked by the cycle
        ini.unlink()  # saved when shown: what is there at the end, the end saved
        self.proc.send_signal(signal.SIGTERM)
        self.assert_exits('SIGTERM during a hanging cycle', seconds=5)  # the cycle does not hold up the end
        # All settings saved into the shared file; the copy's list starts from its address page.
        for line in ('StartWithWindows=0', 'Server=127.0.0.1', 'IPWebPage=' + hang):
            self.assertIn(f'{line}\r\n'.encode(), ini.read_bytes())
        self.assertEqual(self.read('Other.dat'), f'"{hang}"\r\n'.encode())
        self.assertEqual(self.read('Quendrel.dat'), b'"http://listed.example/"\r\n')


if __name__ == '__main__':
    parser = argparse.ArgumentParser(usage='%(prog)s --binary PATH/TO/Quendrel [unittest options]')
    parser.add_argument('--binary', required=True, type=os.path.abspath)
    ARGS, rest = parser.parse_known_args()  # ARGS.binary: the program under test
    # Stopped from outside (a driver's timeout, say): unwind, so what was started here ends.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    unittest.main(argv=sys.argv[:1] + rest)
