#!/usr/bin/env bash
# Installs what Quendrel needs to build, run and test, from Debian's packages.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libcurl4-openssl-dev
  # OpenSSL itself: the program reads the server's certificate
  libssl-dev
  # run: Qt's X11 platform plugin and a font
  qt6-qpa-plugins fonts-dejavu-core
  # test and the display-less quick start: a virtual display, a window
  # manager, a tray host, input and screenshots, and Debian's Python
  xvfb xauth openbox trayer xdotool x11-utils imagemagick python3
  # the autostart entry's check, and systemd-analyze for the systemd units' check
  desktop-file-utils systemd
  # the install and package check: the AppStream data's validator, man, the
  # Debian package's dependencies (dpkg-shlibdeps) and lintian; rsvg-convert
  # for tools/render_icons.sh
  appstream man-db dpkg-dev lintian librsvg2-bin
  # the local FTP server of the update tests and the quick start
  python3-pyftpdlib
  # the encrypted upload tests' servers: FTP over TLS, SFTP, and their test
  # accounts without a change to /etc, and the test CA and certificate
  vsftpd openssh-server libnss-wrapper openssl
  # the HTML help, made from Markdown at build time
  python3-markdown
  # the fuzz targets (tools/fuzz.sh): clang with libFuzzer and the sanitizers
  clang libclang-rt-14-dev
)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "All build, run and test packages are installed."
  exit 0
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

# The tests start vsftpd and sshd of their own on 127.0.0.1. The system-wide
# servers the two packages start on installation (ports 21 and 22) are not
# wanted: where this script installed them, they are stopped and disabled.
for unit in vsftpd:vsftpd openssh-server:ssh; do
  case " ${missing[*]} " in
    *" ${unit%%:*} "*)
      if [ -d /run/systemd/system ]; then
        "${as_root[@]}" systemctl disable --now "${unit#*:}" >/dev/null 2>&1 || true
      elif command -v service >/dev/null; then
        "${as_root[@]}" service "${unit#*:}" stop >/dev/null 2>&1 || true
      fi
      ;;
  esac
done
