#!/usr/bin/python3
# End-to-end tests of what the program remembers: settings changed in the
# real window survive an exit and a start, the start-at-logon entry follows
# its box, and a renamed copy shares the settings but keeps its own list.
#
# Run: /usr/bin/python3 tests/e2e/test_settings.py --binary build/Quendrel [unittest options]

import os
import shutil
import signal
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_shell  # noqa: E402
from test_shell import ShellTest, x  # noqa: E402


def read(path):
    with open(path, 'rb') as f:
        return f.read()


class SettingsTest(ShellTest):

    def keys(self, *keys):
        for k in keys:
            x.run('xdotool', 'key', '--delay', '30', *k.split(), check=True)

    def type(self, text):
        x.run('xdotool', 'type', '--delay', '30', text, check=True)

    def settings(self):
        return read(os.path.join(self.dir, 'Quendrel.ini')).decode()

    def test_settings_made_in_window_survive_restart(self):
        proc = self.start_in_tray()
        wid = self.show(proc)
        x.run('xdotool', 'windowactivate', '--sync', str(wid), check=True)
        # The tab strip has the focus: to "FTP Server", into the server box.
        self.keys('Right Right Tab')
        self.type('ftp.example.net')
        # Back to "General": start at logon, update on start, then a 0 as interval.
        self.keys('shift+Tab Left Left', 'Tab space Tab Tab space Tab Tab Tab')
        self.type('0')
        box = x.wait_until(lambda: [w for w in x.windows('Quendrel', visible=True) if w != wid])
        self.assertTrue(box, self.state('no message for an interval of 0', proc))
        self.keys('Return')
        self.assertTrue(x.wait_until(lambda: not x.windows('Quendrel', visible=True)), 'message stayed open')

        x.run('xdotool', 'windowminimize', str(wid), check=True)  # minimising saves
        self.assert_hidden(wid, proc, 'minimise')
        saved = x.wait_until(lambda: 'Server=ftp.example.net' in self.settings() and self.settings())
        self.assertTrue(saved, 'server not saved at minimise')
        for line in ('StartWithWindows=1', 'CheckOnStart=1', 'Interval=5'):
            self.assertIn(line + '\r\n', saved)
        self.assertEqual(os.stat(os.path.join(self.dir, 'Quendrel.ini')).st_mode & 0o777, 0o600)

        entry = os.path.join(self.dir, 'home', '.config', 'autostart', 'Quendrel.desktop')
        self.assertIn(f'Exec="{self.exe}"\n', read(entry).decode())
        validate = subprocess.run(['desktop-file-validate', entry], capture_output=True, text=True)
        self.assertEqual((validate.returncode, validate.stdout), (0, ''), 'autostart entry is not valid')

        self.choose_last_item(lambda: x.click_icon(3), proc, 'right click on the tray icon')
        self.assert_exits(proc, 'tray menu Exit')
        after_exit = self.settings()
        # Started again, the window holds what was left: saving it changes nothing.
        again = self.start(again=True)
        self.assertTrue(x.wait_until(lambda: len(x.tray_icons()) == 1), self.state('no icon after restart', again))
        again.send_signal(signal.SIGTERM)
        self.assert_exits(again, 'SIGTERM after restart')
        self.assertEqual(self.settings(), after_exit)

    def test_renamed_copy_shares_settings_but_keeps_its_own_list(self):
        proc = self.start_in_tray()
        proc.send_signal(signal.SIGTERM)
        self.assert_exits(proc, 'SIGTERM')
        with open(os.path.join(self.dir, 'Quendrel.ini'), 'w') as f:
            f.write('[Settings]\nServer=shared.example.net\nIPWebPage=http://typed.example/\n')
        with open(os.path.join(self.dir, 'Quendrel.dat'), 'w') as f:
            f.write('"http://listed.example/"\r\n')
        list_before = read(os.path.join(self.dir, 'Quendrel.dat'))

        self.exe = shutil.copy2(self.exe, os.path.join(self.dir, 'Other'))
        other = self.start(again=True)
        self.assertTrue(x.wait_until(lambda: len(x.tray_icons()) == 1), self.state('renamed copy: no icon', other))
        other.send_signal(signal.SIGTERM)
        self.assert_exits(other, 'renamed copy, SIGTERM')
        self.assertIn('Server=shared.example.net\n', self.settings())
        self.assertEqual(read(os.path.join(self.dir, 'Other.dat')), b'"http://typed.example/"\r\n')
        self.assertEqual(read(os.path.join(self.dir, 'Quendrel.dat')), list_before)


if __name__ == '__main__':
    test_shell.main()
