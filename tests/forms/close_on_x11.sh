#!/usr/bin/env bash
# Closes the real window on an X server where a clipboard manager runs. At exit a program hands the manager
# what it still owns and waits for it: text merely selected in a cell editor must not be handed over (closing
# would wait for the manager for nothing), a cell copied with the grid's Copy must be (it outlives the program).
# Usage: close_on_x11.sh INVEXA_ADMIN INVEXA CLIPBOARD_KEEPER
set -euo pipefail
admin=$1 invexa=$2 keeper=$3
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n 1 "$work/display") QT_QPA_PLATFORM=xcb
"$keeper" >"$work/keeper.log" &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/keeper.log" && break; sleep 0.05; done
grep -q ready "$work/keeper.log" || { echo "FAIL: no X server with a clipboard manager on $DISPLAY" >&2; exit 1; }

# Runs the window in a demo folder, does $2 on the first cell, closes with the Close button; prints how many
# times the manager was asked to keep something.
session() {
  local folder="$work/$1" before pid win
  "$invexa" -q demo "$folder" && "$invexa" -q -C "$folder" merge
  before=$(grep -c keep "$work/keeper.log" || true)
  (cd "$folder" && exec "$admin") >/dev/null 2>&1 &
  pid=$!
  win=$(timeout 20 xdotool search --sync --name '^Invexa Administrator$' | head -n 1)
  xdotool windowfocus --sync "$win"
  sleep 0.5
  case $2 in
    select) xdotool mousemove --window "$win" 150 95 click 1 sleep 0.3 key ctrl+a ;;
    copy) xdotool mousemove --window "$win" 80 95 click 3 sleep 0.5 key c ;;
  esac
  sleep 0.3
  xdotool mousemove --window "$win" 170 12 click 1 sleep 0.5 mousemove --window "$win" 378 454 click 1
  timeout 20 tail --pid="$pid" -f /dev/null || { echo "FAIL: $1: the window did not close" >&2; exit 1; }
  sleep 0.2
  echo $(($(grep -c keep "$work/keeper.log" || true) - before))
}

[ "$(session selected select)" = 0 ] || { echo "FAIL: selected text was handed to the clipboard manager" >&2; exit 1; }
[ "$(session copied copy)" = 1 ] || { echo "FAIL: the copied cell was not handed to the clipboard manager" >&2; exit 1; }
echo "ok"
