# The local HTTP and FTP servers of tests/support/servers.py, for the
# benchmarks that time whole updates against them.
import subprocess
import sys
from pathlib import Path

SERVERS = Path(__file__).resolve().parent.parent / 'tests' / 'support' / 'servers.py'


def start(root):
    """Starts the servers with their files under root. Returns the process
    (its stdin kept open: closing it ends them) and the ports of its READY
    line by name (http, ftp, ...); ends the benchmark when they do not start."""
    proc = subprocess.Popen(['/usr/bin/python3', str(SERVERS), '--root', str(root)],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    ready = proc.stdout.readline().split()
    if not ready or ready[0] != 'READY':
        proc.kill()
        sys.exit('error: servers.py did not start')
    return proc, dict(field.split('=') for field in ready[1:])
