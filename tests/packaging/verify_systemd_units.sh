#!/bin/sh
# Checks the systemd user units with systemd-analyze verify, as the user's
# service manager would load them, on copies whose ExecStart runs the built
# program (verify wants ExecStart's program to exist). What ExecStart runs
# is check_install.py's, on the installed units.
#
#   verify_systemd_units.sh UNIT_DIR PROGRAM WORK_DIR
#
# verify reports unknown keys and unparsable values and still succeeds, so any
# word it says is a failure. Exit status 77 (skipped) without systemd-analyze.
set -eu
units=$1 program=$2 work=$3

if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "SKIPPED: systemd-analyze not found (Debian package systemd, see tools/install-deps.sh)"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/units" "$work/runtime"
chmod 700 "$work/runtime"
sed "s|^ExecStart=[^ ]*|ExecStart=\"$program\"|" "$units/quendrel-update.service" >"$work/units/quendrel-update.service"
cp "$units/quendrel-update.timer" "$work/units/"

# The user manager's view needs a runtime directory, which a container or a
# CI job need not have.
status=0
said=$(XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user \
  "$work/units/quendrel-update.timer" "$work/units/quendrel-update.service" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$said" ]; then
  printf 'FAILED: systemd-analyze verify (status %s):\n%s\n' "$status" "$said"
  exit 1
fi
echo "quendrel-update.service and quendrel-update.timer verified"
