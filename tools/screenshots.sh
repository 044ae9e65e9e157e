#!/usr/bin/env bash
# Takes a PNG of the settings window, frame included, for each of its four
# tabs into docs/screenshots/, under a private Xvfb with openbox.
#
# usage: tools/screenshots.sh [PATH/TO/Quendrel]   (default: build/Quendrel)
#
# Without a notification area the program shows its window at start, so no
# tray is started. The binary runs as a copy in a temporary directory, with a
# temporary HOME, so nothing of the user's is read or written.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
binary="${1:-$root/build/Quendrel}"
out="$root/docs/screenshots"
caption='Quendrel 4.6'
names=(tab-1-general tab-2-webpage tab-3-ftp tab-4-advanced)

die() { echo "screenshots.sh: $*" >&2; exit 1; }

[[ -x "$binary" ]] || die "no executable at $binary (build first, or pass its path)"
for tool in Xvfb openbox xdotool xdpyinfo xwininfo xprop import identify; do
    command -v "$tool" >/dev/null || die "$tool not found (apt-get install xvfb openbox xdotool x11-utils imagemagick)"
done

work="$(mktemp -d)"
pids=()

# Ends each started program's process group: TERM, then KILL after 3 s.
cleanup() {
    local pid i
    for pid in "${pids[@]}"; do
        kill -TERM -- "-$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        for ((i = 0; i < 30; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL -- "-$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Polls a command until it succeeds, for at most $1 seconds.
wait_for() {
    local seconds="$1" i
    shift
    for ((i = 0; i < seconds * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Starts a program in its own process group; its pid is in $started.
start() {
    setsid "$@" </dev/null >>"$work/log" 2>&1 &
    started=$!
    pids+=("$started")
}

# A free display: no socket and no lock file. -noreset keeps the server from
# resetting when its last client leaves, which would refuse the next one.
display=
for ((n = 20; n < 120; n++)); do
    [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
    start Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset
    xvfb=$started
    export DISPLAY=":$n"
    # Ours if it answers and its lock names it (not a server that won a race).
    if wait_for 10 xdpyinfo >/dev/null 2>&1 && kill -0 "$xvfb" 2>/dev/null &&
        [[ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" == "$xvfb" ]]; then
        display=":$n"
        break
    fi
    kill -KILL -- "-$xvfb" 2>/dev/null || true
done
[[ -n "$display" ]] || die "Xvfb does not start on any free display"

wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
mkdir -p "$work/home" "$work/app" "$work/runtime"
chmod 700 "$work/runtime"
HOME="$work/home" start openbox
wait_for 10 wm_running || die "openbox does not start"

cp "$binary" "$work/app/Quendrel"
start env -i DISPLAY="$display" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" "$work/app/Quendrel"

find_window() { wid="$(xdotool search --name "^${caption//./\\.}\$" 2>/dev/null | head -n 1)" && [[ -n "$wid" ]]; }
viewable() { xwininfo -id "$wid" 2>/dev/null | grep -q 'Map State: IsViewable'; }
active() { [[ "$(xdotool getactivewindow 2>/dev/null)" == "$wid" ]]; }
wait_for 10 find_window || die "no window named '$caption' (see the program's output: $(tail -n 5 "$work/log"))"
wait_for 10 viewable || die "the window is not shown"
wait_for 5 active || xdotool windowactivate --sync "$wid"

# The window's picture, as a signature of its pixels.
signature() { import -window "$wid" png:- 2>/dev/null | identify -format '%#' - 2>/dev/null; }
# Waits until the window's picture differs from $1 and then stays the same.
settled() {
    local before="$1" now next i
    for ((i = 0; i < 50; i++)); do
        now="$(signature)"
        if [[ -n "$now" && "$now" != "$before" ]]; then
            next="$(signature)"
            [[ "$now" == "$next" ]] && { shot="$now"; return 0; }
        fi
        sleep 0.1
    done
    return 1
}

# The first tab, "General", sits at the client area's top left, below the
# menu bar; a click on it selects it and gives the tab bar the focus, and
# the Right arrow key then moves to the next tab.
eval "$(xdotool getwindowgeometry --shell "$wid")"
menubar_and_half_tab=35
xdotool mousemove $((X + 30)) $((Y + menubar_and_half_tab)) click 1
xdotool mousemove 0 0
settled "" || die "the window does not settle after a click on its first tab"

mkdir -p "$out"
taken=()
for i in 0 1 2 3; do
    if ((i > 0)); then
        xdotool key Right
        settled "$shot" || die "the Right key did not change the tab after ${names[i - 1]}"
    fi
    import -frame -window "$wid" "$out/${names[i]}.png"
    taken+=("$shot")
    echo "  $out/${names[i]}.png"
done

# Four different pictures, or the tabs did not switch.
[[ "$(printf '%s\n' "${taken[@]}" | sort -u | wc -l)" == 4 ]] || die "some tabs look the same: ${taken[*]}"
