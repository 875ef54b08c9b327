#!/usr/bin/env bash
# Runs the administrator in FOLDER (default: a demo folder made by `invexa demo`), installing and building
# what is missing first.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$repo" && scripts/build.sh invexa invexa-admin | tail -n 1)
invexa="$repo/$build/src/invexa"
admin="$repo/$build/src/invexa-admin"
folder=${1:-"$repo/demo"}
if [ $# -eq 0 ] && [ ! -e "$folder/Results.sqlite" ]; then
  "$invexa" demo "$folder"
fi
mkdir -p "$folder"
cd "$folder"
[ -e Results.sqlite ] || "$invexa" init
if [ -x "$admin" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; }; then
  exec "$admin"
fi
[ -x "$admin" ] && echo "No display: merging and exporting headless instead of opening the window."
status=0
"$invexa" merge || status=$?
"$invexa" export || status=$?
echo "Working folder: $folder (results table Results.sqlite, export datadump.csv)"
exit $status
