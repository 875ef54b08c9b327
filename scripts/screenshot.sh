#!/usr/bin/env bash
# Takes the README's screenshot: the window on a fresh demo folder, under a virtual X display.
# Usage: scripts/screenshot.sh [OUTPUT.png] (default: doc/window.png)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$repo/doc/window.png}")
"$repo/scripts/deps.sh" xvfb xauth imagemagick x11-utils
build=$(cd "$repo" && scripts/build.sh invexa invexa-admin | tail -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$repo/$build/src/invexa" demo "$work/demo" >/dev/null
mkdir -p "$(dirname "$out")"
cat >"$work/shoot.sh" <<'SHOT'
set -euo pipefail
admin=$1 folder=$2 out=$3
"$admin" "$folder" &
pid=$!
# Wait for the main window to be mapped (up to 20 s).
for _ in $(seq 200); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"Invexa Administrator"/ {print $1; exit}')
  [ -n "$id" ] && break
  sleep 0.1
done
[ -n "$id" ] || { kill $pid; echo "the window did not appear" >&2; exit 1; }
sleep 1 # let the first paint finish
import -window "$id" "$out"
kill $pid
SHOT
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$repo/$build/src/invexa-admin" "$work/demo" "$out"
echo "$out"
