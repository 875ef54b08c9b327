#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing. Liberation Sans is the
# windows' designed font where "MS Sans Serif" is missing: its Arial metrics make the designed captions fit.
# Usage: scripts/deps.sh [package] [extra packages...]; "package" adds what scripts/package.sh needs.
set -euo pipefail
extra=()
for word in "$@"; do
  if [ "$word" = package ]; then extra+=(lintian dpkg-dev file); else extra+=("$word"); fi
done
# desktop-file-utils, appstream and man-db check the installed files in the tests; xvfb, xdotool and libxcb1-dev
# run the window on a real X server there. libpq-dev is the PostgreSQL store's client library; postgresql is the
# server the store's tests start for themselves.
packages=(cmake make g++ pkg-config libsqlite3-dev sqlite3 libsqlitecpp-dev libcli11-dev libgtest-dev
          qt6-base-dev fonts-dejavu-core fonts-liberation desktop-file-utils appstream man-db
          xvfb xdotool libxcb1-dev libpq-dev postgresql "${extra[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
