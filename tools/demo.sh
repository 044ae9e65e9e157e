#!/usr/bin/env bash
# Shows Quendrel doing its whole job on this machine alone: a local web
# server plays the IP web page, a local FTP server plays the user's web
# space, and a copy of the program set up for the two finds the address,
# writes its page and uploads it, once, about a second after it starts.
#
#   tools/demo.sh path/to/Quendrel
#
# Everything lives in build/demo, made anew on each run: the copy of the
# program with its settings (Quendrel.ini) and its page (temp.htm), the FTP
# server's files (servers/ftp; the upload lands in servers/ftp/site/ip.html)
# and the logs. The copy runs through tools/run.sh: on a desktop it simply
# runs; without a display it runs on a private virtual display with a tray.
# Ctrl-C (or the program's own Exit) ends the program, the servers and the
# virtual display.
set -euo pipefail
binary=${1:?usage: $0 path/to/Quendrel}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
demo=$root/build/demo
copy=$demo/$(basename "$binary")
page=$demo/servers/ftp/site/ip.html
python=/usr/bin/python3

[ -x "$binary" ] || { echo "$0: $binary is not an executable program" >&2; exit 2; }
if ! "$python" -c 'import pyftpdlib' 2>/dev/null; then
  echo "$0: the demo's FTP server needs Debian's python3-pyftpdlib (apt-get install python3-pyftpdlib)" >&2
  exit 1
fi

# Whether a process is there and not yet a zombie.
running() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

# Waits up to $2 tenths of a second for process $1 to end.
await_end() {
  local tenths=$2
  while running "$1" && [ "$tenths" -gt 0 ]; do sleep 0.1; tenths=$((tenths - 1)); done
  ! running "$1"
}

# The process running the copy (run.sh itself, on a desktop, where it
# replaces itself with the program); there is one at most, checked below.
program_pid() {
  local exe
  for exe in /proc/[0-9]*/exe; do
    if [ "$(readlink "$exe" 2>/dev/null)" = "$copy" ]; then
      exe=${exe#/proc/}; echo "${exe%/exe}"; return
    fi
  done
}

# The program of a demo still running elsewhere would lose its folder.
other=$(program_pid)
if [ -n "$other" ]; then
  echo "$0: a demo is already running from $demo (process $other); end it first" >&2
  exit 1
fi
rm -rf "$demo"
mkdir -p "$demo/servers" "$demo/config"
cp "$binary" "$copy"

servers_pid='' servers_in='' runner=''
stop() {
  trap - INT TERM HUP EXIT
  set +e
  if [ -n "$runner" ]; then
    # The program first, while its display is still there, so it ends as on
    # Exit (and saves its settings); then run.sh ends the display it made.
    local app
    app=$(program_pid)
    if [ -n "$app" ]; then kill -TERM "$app" 2>/dev/null; await_end "$app" 50; fi
    if running "$runner"; then kill -TERM "$runner" 2>/dev/null; await_end "$runner" 50; fi
    # run.sh runs in a session of its own: what is left of it goes at once.
    running "$runner" && kill -KILL -- "-$runner" 2>/dev/null
    wait "$runner" 2>/dev/null
  fi
  if [ -n "$servers_pid" ]; then
    [ -n "$servers_in" ] && exec {servers_in}>&-  # end of input: the servers end
    kill -TERM "$servers_pid" 2>/dev/null
    await_end "$servers_pid" 30 || kill -KILL "$servers_pid" 2>/dev/null
    wait "$servers_pid" 2>/dev/null
  fi
  [ -z "$runner" ] || echo "The demo has ended: Quendrel, the local servers and any virtual display are gone."
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The servers end with their input, so even a demo killed outright does not
# leave them behind.
coproc SERVERS { exec "$python" "$root/tests/support/servers.py" --root "$demo/servers" 2>"$demo/servers.log"; }
# shellcheck disable=SC2153 # SERVERS_PID is set by coproc
servers_pid=$SERVERS_PID
servers_in=${SERVERS[1]}
servers_out=${SERVERS[0]}
ready=''
read -r -t 15 -u "$servers_out" ready || true
if [[ ! $ready =~ ^READY\ http=([0-9]+)\ ftp=([0-9]+)\ silent=([0-9]+)$ ]]; then
  echo "$0: the local servers did not start; see $demo/servers.log:" >&2
  cat "$demo/servers.log" >&2
  exit 1
fi
http_port=${BASH_REMATCH[1]}
ftp_port=${BASH_REMATCH[2]}

# Update once right after start, from the IP page, to the FTP server, passive.
# Each option pair is one flag: -1 selects its first button ("Use Default",
# "Active", "Directly Connected"), 0 its second. The password is Base64.
cat >"$demo/Quendrel.ini" <<EOF
[Settings]
StartWithWindows=0
CheckOnStart=1
DelayCheckOnStart=0
Interval=5
WebpageType=-1
SourceFilepath=
DestFilename=ip.html
Server=127.0.0.1
Port=$ftp_port
RemotePath=site
Username=writer
Password=$(printf %s secret | base64)
PasActFlag=0
ConnectType=0
IPWebPage=http://127.0.0.1:$http_port/ip
StartString=<ip>
EndString=</ip>
EOF

echo "Demo in $demo:"
echo "  IP web page  http://127.0.0.1:$http_port/ip  (shows the address 203.0.113.7 between <ip> and </ip>)"
echo "  FTP server   127.0.0.1:$ftp_port, user writer, password secret, passive; its files: $demo/servers/ftp"
echo "  Quendrel     $copy, set up for the two in $demo/Quendrel.ini;"
echo "               it updates once, about a second after it starts"

desktop=false
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then desktop=true; fi

# A private configuration directory: its start-at-logon handling must not
# touch the user's own autostart entries. The servers' pipes stay here.
XDG_CONFIG_HOME=$demo/config setsid "$root/tools/run.sh" "$copy" >"$demo/run.log" \
  {servers_in}>&- {servers_out}<&- &
runner=$!

if $desktop; then
  echo "Quendrel runs on your desktop. Its tray icon changes while the update runs and shows the globe again"
  echo "once it succeeded; a left click on the icon shows its window, whose status bar then holds the address."
  echo "The page it uploads lands on the FTP server as $page"
else
  # run.sh tells what it did once the program is up and its window shown.
  for _ in $(seq 300); do
    grep -q 'Press Ctrl-C' "$demo/run.log" 2>/dev/null && break
    running "$runner" || break
    sleep 0.1
  done
  grep -v 'Press Ctrl-C' "$demo/run.log" || true
fi

for _ in $(seq 200); do
  [ -s "$page" ] && break
  running "$runner" || break
  sleep 0.1
done
if [ -s "$page" ]; then
  sleep 0.3  # the upload's last bytes
  echo "Quendrel found the address and uploaded its page by FTP: $page"
  echo "-----"
  cat "$page"
  [ -z "$(tail -c 1 "$page")" ] || echo
  echo "-----"
elif running "$runner"; then
  echo "No page was uploaded within 20 seconds; Quendrel keeps running. Logs: $demo/servers.log, $demo/run.log" >&2
fi

if running "$runner"; then
  echo "Press Ctrl-C to stop (or choose Exit in Quendrel's tray menu)."
  wait "$runner" || true
fi
