#!/usr/bin/env bash
# Starts Quendrel. On a desktop it simply runs; without a display it runs on
# a private virtual display with a window manager and a tray, shows the
# settings window, saves a screenshot of it and keeps running until Ctrl-C.
set -euo pipefail
binary=${1:?usage: $0 path/to/Quendrel}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$binary"
fi

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
pids=()
stop() {
  trap - INT TERM EXIT
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop INT TERM EXIT

Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids=($! "${pids[@]}")
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids=($! "${pids[@]}")
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
  --transparent false >/dev/null 2>&1 & pids=($! "${pids[@]}")
sleep 1
"$binary" & app=$!
pids=("$app" "${pids[@]}")

# Show the window from the tray icon, as a user would, and photograph it.
shot="$(dirname "$binary")/quickstart.png"
for _ in $(seq 50); do
  icon=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {p=1; next} p && !found && /"Quendrel"/ {print $1; found=1}')
  [ -n "$icon" ] && break
  sleep 0.1
done
if [ -n "${icon:-}" ]; then
  xdotool mousemove --window "$icon" 8 8 click 1
  sleep 1
  import -window root "$shot" 2>/dev/null || true
  echo "Quendrel is running on the virtual display $DISPLAY (no desktop was found)."
  echo "Its tray icon was clicked and the settings window shown: see $shot"
else
  echo "Quendrel is running on the virtual display $DISPLAY, but its tray icon did not appear." >&2
fi
echo "Press Ctrl-C to stop."
wait "$app"
