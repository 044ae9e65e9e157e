#!/usr/bin/python3
# End-to-end tests of the update cycle in the real program: started with
# "update on start", it fetches a local IP web page and uploads the page to a
# local FTP server; a cycle that hangs leaves the window usable and does not
# hold up the end of the program.
#
# Run: /usr/bin/python3 tests/e2e/test_update.py --binary build/Quendrel [unittest options]

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import test_shell  # noqa: E402
from test_shell import ShellTest, x  # noqa: E402

SERVERS = os.path.join(HERE, '..', 'support', 'servers.py')


def read(path):
    with open(path, 'rb') as f:
        return f.read()


# Whether a TCP connection to 127.0.0.1:port is established (as the kernel
# lists them, whoever opened it).
def connected_to(port):
    with open('/proc/net/tcp') as f:
        rows = [line.split() for line in f.readlines()[1:]]
    return any(r[2] == f'0100007F:{port:04X}' and r[3] == '01' for r in rows)


class UpdateTest(ShellTest):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        root = tempfile.TemporaryDirectory(prefix='quendrel-servers-')
        cls.addClassCleanup(root.cleanup)
        cls.ftp_root = os.path.join(root.name, 'ftp')
        # The script ends when its stdin closes, so it cannot outlive the test.
        cls.servers = subprocess.Popen(['/usr/bin/python3', SERVERS, '--root', root.name],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        cls.addClassCleanup(cls.servers.wait, 10)
        cls.addClassCleanup(cls.servers.stdin.close)
        ready = cls.servers.stdout.readline().split()
        assert ready and ready[0] == 'READY', ready
        cls.ports = {k: int(v) for k, v in (field.split('=') for field in ready[1:])}

    # A fresh copy of the program whose settings file asks for an update at
    # start, with the address from page, uploaded passively into "site".
    def start_with_page(self, page):
        self.dir = os.path.realpath(self.enterContext(tempfile.TemporaryDirectory(prefix='quendrel-e2e-')))
        self.exe = os.path.join(self.dir, 'Quendrel')
        shutil.copy2(test_shell.BINARY, self.exe)
        os.mkdir(os.path.join(self.dir, 'home'))
        os.mkdir(os.path.join(self.dir, 'runtime'), 0o700)
        settings = {
            'CheckOnStart': '1', 'DelayCheckOnStart': '0', 'Interval': '5', 'WebpageType': '-1',
            'DestFilename': 'ip.html', 'Server': '127.0.0.1', 'Port': str(self.ports['ftp']),
            'Username': 'writer', 'Password': 'c2VjcmV0', 'RemotePath': 'site', 'PasActFlag': '0',
            'ConnectType': '0', 'IPWebPage': f'http://127.0.0.1:{self.ports["http"]}{page}',
            'StartString': '<ip>', 'EndString': '</ip>',
        }
        with open(os.path.join(self.dir, 'Quendrel.ini'), 'w', newline='\r\n') as f:
            f.write('[Settings]\n' + ''.join(f'{k}={v}\n' for k, v in settings.items()))
        return self.start(again=True)

    def test_update_on_start_uploads_the_page(self):
        uploaded = os.path.join(self.ftp_root, 'site', 'ip.html')
        proc = self.start_with_page('/ip')
        page = x.wait_until(lambda: os.path.exists(uploaded) and read(uploaded))
        self.assertTrue(page, self.state('no page uploaded', proc))
        self.assertTrue(page.startswith(b'<html><body><center><b>203.0.113.7</b><br>'), page)
        self.assertTrue(page.endswith(b'</center></body></html>\r\n'), page)
        self.assertEqual(read(os.path.join(self.dir, 'temp.htm')), page)
        self.show(proc)
        proc.send_signal(signal.SIGTERM)
        self.assert_exits(proc, 'SIGTERM after the update')

    def test_hanging_cycle_leaves_window_usable_and_ends_with_the_program(self):
        proc = self.start_with_page('/hang')
        self.assertTrue(x.wait_until(lambda: connected_to(self.ports['http'])),
                        self.state('the IP web page was not asked for', proc))
        wid = self.show(proc)  # the window thread is not blocked by the cycle
        x.click_icon()
        self.assert_hidden(wid, proc, 'left click during the cycle')
        began = time.monotonic()
        proc.send_signal(signal.SIGTERM)
        self.assert_exits(proc, 'SIGTERM during a hanging cycle')
        self.assertLess(time.monotonic() - began, 5, 'the hanging cycle held up the end')
        # The unload still saved the settings.
        self.assertIn(b'IPWebPage=http://127.0.0.1:%d/hang\r\n' % self.ports['http'],
                      read(os.path.join(self.dir, 'Quendrel.ini')))
        self.assertFalse(connected_to(self.ports['http']), 'the connection outlived the program')


if __name__ == '__main__':
    test_shell.main()
