#!/usr/bin/env bash
# Installs the Debian package of a build as a user would (apt-get install
# ./quendrel_*.deb), checks that the program runs from the PATH, that the
# application menu finds its entry and icon and that it keeps its files out of
# the system's folders, then purges the package and checks that none of its
# files is left. As root, on Debian 12, with the build's dependencies there;
# it refuses to run where a quendrel package is installed already.
#
#   tools/check_package.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build=$(realpath "${1:-build}")
fail() { echo "check_package.sh: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (apt-get install)"

# Someone's own installed copy is not this check's to remove.
if [ -n "$(dpkg-query -W -f='${db:Status-Status}' quendrel 2>/dev/null | grep -v not-installed)" ]; then
  fail "a quendrel package is installed here already; remove it first (apt-get purge quendrel)"
fi

# A fresh package of the build, in a folder apt's own user may read.
work=$(mktemp -d)
trap 'rm -rf "$work"; apt-get purge -y -qq quendrel >/dev/null 2>&1 || true' EXIT
chmod 755 "$work"
(cd "$build" && cpack -G DEB -B "$work" >/dev/null) || fail "cpack -G DEB in $build"
deb=$(echo "$work"/quendrel_*.deb)
version=$(dpkg-deb -f "$deb" Version)

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
dpkg -L quendrel >"$work/files"

# On the PATH, as the menu entry's Exec line names it.
[ "$(command -v quendrel)" = /usr/bin/quendrel ] || fail "quendrel is not /usr/bin/quendrel on the PATH"
[ "$(quendrel --version)" = "Quendrel $version" ] || fail "quendrel --version"
entry=$(grep -m1 '^/usr/share/applications/.*\.desktop$' "$work/files") || fail "no entry in /usr/share/applications"
icon=$(sed -n 's/^Icon=//p' "$entry")
exec_command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ "$(command -v "$exec_command")" = /usr/bin/quendrel ] || fail "$entry runs $exec_command"
for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
  [ -f "/usr/share/icons/hicolor/$size/apps/$icon.png" ] || fail "no $size icon $icon in the hicolor theme"
done
[ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"

# The installed copy, run by root in a writable /usr/bin, writes its files into
# the user's configuration folder only.
mkdir -m 700 "$work/home" "$work/runtime"
before=$(ls -A /usr/bin | md5sum)
status=0
HOME=$work/home XDG_CONFIG_HOME='' XDG_RUNTIME_DIR=$work/runtime quendrel --update >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "quendrel --update without settings ended with $status, not 1"
[ -d "$work/home/.config/Quendrel" ] || fail "no ~/.config/Quendrel after quendrel --update"
[ "$(ls -A /usr/bin | md5sum)" = "$before" ] || fail "quendrel --update wrote into /usr/bin"

# Gone whole: every file, and every folder that no other package owns.
apt-get purge -y -qq quendrel >/dev/null
left=()
while read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1 && left+=("$path")
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind after apt-get purge: ${left[*]}"
echo "check_package.sh: $(basename "$deb") installed, checked, purged ($(wc -l <"$work/files") paths)"
