#!/usr/bin/python3
# Local encrypted upload servers for Quendrel's tests: vsftpd with FTP over
# TLS, explicit (AUTH TLS on a plain port) and implicit (TLS from the first
# byte), and OpenSSH's sshd for SFTP.
#
#   /usr/bin/python3 secure_servers.py --root DIR
#
# Everything is made at start in DIR and listens on 127.0.0.1, on free ports.
# Once each server accepts connections, one line goes to stdout (otherwise
# the reason and the server's log go to stderr, and the exit status is 1):
#
#   READY ftpes=<port> ftps=<port> sftp=<port>
#
# Files in DIR:
#   ca.pem        the test CA's certificate; it signed the FTP servers' one,
#                 made for localhost and 127.0.0.1
#   tls-key.txt   that certificate's public-key pin, SHA256:<base64> (with
#                 padding): the sha256 of its SubjectPublicKeyInfo
#   ftp/site      FTP: user "anonymous", any password, logged in to ftp (not
#                 writable); upload, rename and delete (no mkdir) in ftp/site. TLS is
#                 required for the login and all data, and each data
#                 connection must reuse the control connection's TLS session
#   ftpes.log, ftps.log   every FTP command and reply (PASS without argument)
#   home          SFTP's login directory, with home/site: user "tester",
#                 password "secret" or the key client/id_ed25519 (+ .pub)
#   host-key.txt  sshd's host key fingerprint, SHA256:<base64> (no padding)
#   known_hosts   one line, "[127.0.0.1]:<port> ssh-ed25519 AAAA..."
#   sftp.log      sshd's log, with the SFTP opens, renames and removes
#
# It needs root (vsftpd changes its root to DIR/ftp, sshd changes user): the
# sessions run as "nobody", and /run/sshd is made when missing. The accounts
# reach the servers through libnss-wrapper and passwd and group files in DIR
# (nothing in /etc changes).
#
# It exits with status 0 on SIGTERM, SIGINT or end of its stdin (so a parent
# that dies takes it along: keep its stdin open, a pipe, while it is needed),
# after stopping its servers. Only the standard library:
# Debian's own Python runs it, with vsftpd, openssh-server, libnss-wrapper and
# openssl.

import base64
import contextlib
import ctypes
import hashlib
import os
import shlex
import signal
import socket
import subprocess
import sys
import time

HOST = '127.0.0.1'
SESSION_USER = (65534, 65534)  # nobody's uid and gid
START_SECONDS = 15  # how long the servers get to listen
LIBC = ctypes.CDLL(None, use_errno=True)
PR_SET_PDEATHSIG = 1


def run(*command):
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode:
        sys.exit(f'secure_servers.py: {" ".join(command)} failed:\n{done.stderr}')
    return done.stdout


def free_port():
    with socket.socket() as probe:
        probe.bind((HOST, 0))
        return probe.getsockname()[1]


def write(path, text, mode=0o644):
    with open(path, 'w', encoding='utf-8') as file:
        file.write(text)
    os.chmod(path, mode)


def make_dirs(*paths, owner=(0, 0)):
    for path in paths:
        os.makedirs(path, mode=0o755, exist_ok=True)
        os.chown(path, *owner)


# A test CA and a certificate for localhost signed by it; the pin of the
# certificate's public key goes to tls-key.txt.
def make_certificate(root):
    ca, ca_key, cert = (os.path.join(root, name) for name in ('ca.pem', 'ca-key.pem', 'tls-cert.pem'))
    new_key = ('-newkey', 'rsa:2048', '-noenc', '-days', '2')
    run('openssl', 'req', '-x509', *new_key, '-keyout', ca_key, '-out', ca, '-subj', '/CN=Quendrel test CA')
    run('openssl', 'req', '-x509', *new_key, '-keyout', os.path.join(root, 'tls-key.pem'), '-out', cert,
        '-CA', ca, '-CAkey', ca_key, '-subj', '/CN=localhost',
        '-addext', 'subjectAltName=DNS:localhost,IP:127.0.0.1', '-addext', 'basicConstraints=CA:FALSE')
    pem = run('openssl', 'x509', '-in', cert, '-pubkey', '-noout')
    spki = base64.b64decode(''.join(line for line in pem.splitlines() if not line.startswith('-----')))
    pin = base64.b64encode(hashlib.sha256(spki).digest()).decode()
    write(os.path.join(root, 'tls-key.txt'), f'SHA256:{pin}\n')


def vsftpd_config(root, name, port, implicit):
    options = {
        'listen': 'YES', 'listen_address': HOST, 'listen_port': port, 'isolate': 'NO', 'isolate_network': 'NO',
        'seccomp_sandbox': 'NO', 'secure_chroot_dir': os.path.join(root, 'empty'), 'ftp_username': 'ftpanon',
        'anonymous_enable': 'YES', 'anon_root': os.path.join(root, 'ftp'), 'write_enable': 'YES',
        'anon_upload_enable': 'YES', 'anon_other_write_enable': 'YES', 'anon_umask': '022', 'ssl_enable': 'YES',
        'implicit_ssl': 'YES' if implicit else 'NO', 'ssl_ciphers': 'HIGH', 'allow_anon_ssl': 'YES',
        'force_anon_logins_ssl': 'YES', 'force_anon_data_ssl': 'YES',
        'rsa_cert_file': os.path.join(root, 'tls-cert.pem'), 'rsa_private_key_file': os.path.join(root, 'tls-key.pem'),
        'xferlog_enable': 'YES', 'log_ftp_protocol': 'YES', 'vsftpd_log_file': os.path.join(root, name + '.log'),
    }
    path = os.path.join(root, name + '.conf')
    write(path, ''.join(f'{key}={value}\n' for key, value in options.items()), 0o600)
    return path


# The accounts "tester" (sshd's) and "ftpanon" (vsftpd's anonymous user, at
# home in DIR/ftp), added to copies of the system's passwd and group files.
def make_accounts(root):
    home, client = os.path.join(root, 'home'), os.path.join(root, 'client')
    make_dirs(home, os.path.join(home, 'site'), os.path.join(home, '.ssh'), owner=SESSION_USER)
    make_dirs(client)
    run('ssh-keygen', '-q', '-t', 'ed25519', '-N', '', '-C', 'tester', '-f', os.path.join(client, 'id_ed25519'))
    with open(os.path.join(client, 'id_ed25519.pub'), encoding='utf-8') as key:
        write(os.path.join(home, '.ssh', 'authorized_keys'), key.read())
    ids = '{}:{}'.format(*SESSION_USER)
    password = run('openssl', 'passwd', '-6', 'secret').strip()
    accounts = f'tester:{password}:{ids}:Tester:{home}:/bin/sh\nftpanon:x:{ids}:FTP:{root}/ftp:/usr/sbin/nologin\n'
    for name, added in (('passwd', accounts), ('group', '')):
        with open('/etc/' + name, encoding='utf-8') as system:
            write(os.path.join(root, name), system.read() + added)


# SFTP sessions log to sftp.log too. internal-sftp would log to syslog (its
# standard error is the client's), so the stand-alone sftp-server runs, as
# the test account, with its standard error appended to sftp.log.
def sshd_config(root, port):
    key, log = os.path.join(root, 'ssh_host_ed25519_key'), os.path.join(root, 'sftp.log')
    write(log, '')
    os.chown(log, *SESSION_USER)
    run('ssh-keygen', '-q', '-t', 'ed25519', '-N', '', '-C', 'quendrel test host', '-f', key)
    write(os.path.join(root, 'host-key.txt'), run('ssh-keygen', '-lf', key + '.pub').split()[1] + '\n')
    with open(key + '.pub', encoding='utf-8') as public:
        write(os.path.join(root, 'known_hosts'), f'[{HOST}]:{port} ' + ' '.join(public.read().split()[:2]) + '\n')
    lines = (f'ListenAddress {HOST}:{port}', f'HostKey {key}', 'PidFile none', 'UsePAM no', 'StrictModes no',
             'LogLevel VERBOSE', 'AllowUsers tester', 'PasswordAuthentication yes', 'PubkeyAuthentication yes',
             'KbdInteractiveAuthentication no', 'AuthorizedKeysFile .ssh/authorized_keys',
             f'Subsystem sftp /usr/lib/openssh/sftp-server -e -l INFO 2>>{shlex.quote(log)}')
    path = os.path.join(root, 'sshd_config')
    write(path, ''.join(line + '\n' for line in lines), 0o600)
    return path


def start(command, log, environment):
    with open(log, 'ab') as output:
        # A server dies with this script, even one killed outright. vsftpd
        # writes why it could not start to its standard input, where the
        # control connection is in a session: the log file too.
        return subprocess.Popen(command, stdin=output, stdout=output, stderr=output,
                                env={**os.environ, **environment},
                                preexec_fn=lambda: LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGTERM))


def wait_until_listening(server, port, log, deadline):
    while server.poll() is None and time.monotonic() < deadline:
        with contextlib.suppress(OSError), socket.create_connection((HOST, port), timeout=1):
            return
        time.sleep(0.05)
    with open(log, encoding='utf-8', errors='replace') as text:
        sys.exit(f'secure_servers.py: {server.args[0]} does not listen on port {port}'
                 f' (exit status {server.poll()}); its log, {log}:\n{text.read()}')


# The servers end; their sessions end with their connections.
def stop(servers):
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, signal.SIG_IGN)
    for server in servers:
        server.terminate()
    for server in servers:
        server.wait()


def main():
    if os.geteuid() != 0:
        sys.exit('secure_servers.py: needs root (vsftpd and sshd change their root and user)')
    root = os.path.abspath(sys.argv[sys.argv.index('--root') + 1])
    os.chmod(root, 0o755)  # the sessions reach DIR/home and DIR/ftp as the test account
    make_dirs(os.path.join(root, 'empty'), os.path.join(root, 'ftp'), '/run/sshd')
    make_dirs(os.path.join(root, 'ftp', 'site'), owner=SESSION_USER)
    make_certificate(root)
    make_accounts(root)
    ports = {'ftpes': free_port(), 'ftps': free_port(), 'sftp': free_port()}
    wrapper = {'LD_PRELOAD': 'libnss_wrapper.so', 'NSS_WRAPPER_PASSWD': os.path.join(root, 'passwd'),
               'NSS_WRAPPER_GROUP': os.path.join(root, 'group')}
    commands = {'ftpes': ['/usr/sbin/vsftpd', vsftpd_config(root, 'ftpes', ports['ftpes'], implicit=False)],
                'ftps': ['/usr/sbin/vsftpd', vsftpd_config(root, 'ftps', ports['ftps'], implicit=True)],
                'sftp': ['/usr/sbin/sshd', '-D', '-e', '-f', sshd_config(root, ports['sftp'])]}

    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: sys.exit(0))
    servers = []
    try:
        for name, command in commands.items():
            servers.append(start(command, os.path.join(root, name + '.log'), wrapper))
        deadline = time.monotonic() + START_SECONDS
        for server, name in zip(servers, commands):
            wait_until_listening(server, ports[name], os.path.join(root, name + '.log'), deadline)
        print('READY ' + ' '.join(f'{name}={port}' for name, port in ports.items()), flush=True)
        # Until stdin ends; os.read rather than sys.stdin, so that a signal's
        # exit is not held up by the buffered reader's lock.
        with contextlib.suppress(OSError):
            while os.read(0, 4096):
                pass
    finally:
        stop(servers)


if __name__ == '__main__':
    main()
