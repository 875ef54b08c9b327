#!/usr/bin/env bash
# Times `invexa merge` of USERS scan files of RECORDS records against the floor (bench/floor.c: the least work a
# merge must do on this machine) and against the sqlite3 shell's .import of the same rows into the same schema
# and index; the re-merge of the same users into the full table; two later scans of the same computers whose
# record counts changed by up to 10 and then 50 percent; the merge of FEW users into the full table and into an
# empty one; `invexa export` against the floor's export and `sqlite3 -csv`; and the window's CSV button against
# `invexa export` (bench/grid_bench --csv, on a copy of the table; its goal is set at USERS=15000, 3,000,000 rows).
# Each invexa measure and its floor run interleaved on two identical working folders (A, B, A, B, ...), best of
# RUNS, printed as ratios: other work on the machine slows both alike. SQLITE3=0 leaves out the sqlite3 shell
# (slow at 10,000,000 rows).
# Usage: bench/merge_export.sh [USERS=5000] [RECORDS=200] [RUNS=3]   (or USERS=50000 bench/merge_export.sh)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
users=${1:-${USERS:-5000}} records=${2:-${RECORDS:-200}} runs=${3:-${RUNS:-3}}
few=${FEW:-500} shell=${SQLITE3:-1}
targets=(invexa gen_scanfiles floor)
[ "${INVEXA_GUI:-ON}" = OFF ] || targets+=(grid_bench)
build=$(cd "$repo" && BUILD_DIR=${BUILD_DIR:-build} INVEXA_BENCH=ON scripts/build.sh "${targets[@]}" | tail -n 1)
invexa="$repo/$build/src/invexa"
gen="$repo/$build/bench/gen_scanfiles"
floor="$repo/$build/bench/floor"
grid="$repo/$build/bench/grid_bench"
[ -x "$grid" ] || grid=""
work=$(mktemp -d "${BENCH_TMP:-/tmp}/invexa-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
schema="CREATE TABLE Results (UserName VARCHAR(16), AppMaker VARCHAR(32), AppName VARCHAR(32), Version VARCHAR(6), AppPath VARCHAR(255), Verification SMALLINT); CREATE INDEX ResultsUserName ON Results(UserName);"

now() { date +%s.%N; }
elapsed() { echo "$(now) - $1" | bc -l; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
ratio() { echo "$1 / $2" | bc -l; }
# A fresh working folder: an empty table and no scan files.
fresh() { rm -rf "$1" && mkdir "$1" && "$invexa" -C "$1" init >/dev/null; }
# The same scan files in every folder given.
scan() {
  local n=$1 vary=$2
  shift 2
  rm -rf "$work/src" && "$gen" "$work/src" "$n" "$records" - "$vary"
  for d in "$@"; do rm -rf "$d/ivx" && cp -r "$work/src/ivx" "$d/ivx"; done
  rm -rf "$work/src" && sync
}
declare -a merge fmerge remerge vary10 vary50 import export fexport sqlexport fewfull fewempty csvbutton csvtool

if [ "$shell" = 1 ]; then
  "$gen" "$work/csvsrc" "$users" "$records" "$work/rows.csv"
  rm -rf "$work/csvsrc"
fi
A="$work/A" B="$work/B" E="$work/E"
for ((r = 1; r <= runs; r++)); do
  fresh "$A" && fresh "$B"
  scan "$users" 0 "$A" "$B"
  t=$(now); "$invexa" -C "$A" merge >/dev/null; merge+=("$(elapsed "$t")")
  t=$(now); "$floor" filesov "$B" 2>/dev/null; fmerge+=("$(elapsed "$t")")
  t=$(now); "$invexa" -C "$A" export >/dev/null; export+=("$(elapsed "$t")")
  t=$(now); FLOOR_CHUNK=1048576 "$floor" export "$B" 2>/dev/null; fexport+=("$(elapsed "$t")")
  # The CSV button against `invexa export` on the same table, two of each taken in turn, in milliseconds.
  if [ -n "$grid" ]; then
    line=$(TMPDIR="$work" "$grid" --csv "$A/Results.sqlite" "$invexa" 2 2>/dev/null | grep '^CSV button:')
    csvbutton+=("$(sed -E 's/^CSV button: *([0-9.]+) ms.*/\1/' <<<"$line")")
    csvtool+=("$(sed -E 's/.*invexa export ([0-9.]+) ms.*/\1/' <<<"$line")")
  fi
  if [ "$shell" = 1 ]; then
    t=$(now); sqlite3 -csv "$A/Results.sqlite" "SELECT UserName, AppMaker, AppName, Version, Verification, AppPath FROM Results" >"$work/sql.csv"; sqlexport+=("$(elapsed "$t")")
    rm -f "$work/s.sqlite" && sqlite3 "$work/s.sqlite" "$schema" && sync
    t=$(now); sqlite3 "$work/s.sqlite" ".mode csv" ".import $work/rows.csv Results"; import+=("$(elapsed "$t")")
    rm -f "$work/s.sqlite" "$work/sql.csv"
  fi
  rm -rf "$B"
  scan "$users" 0 "$A"
  t=$(now); "$invexa" -C "$A" merge >/dev/null; remerge+=("$(elapsed "$t")")
  scan "$users" 10 "$A"
  t=$(now); "$invexa" -C "$A" merge >/dev/null; vary10+=("$(elapsed "$t")")
  scan "$users" 50 "$A"
  t=$(now); "$invexa" -C "$A" merge >/dev/null; vary50+=("$(elapsed "$t")")
  # FEW of the same users merged into the full table and into an empty one.
  fresh "$E" && scan "$few" 0 "$A" "$E"
  t=$(now); "$invexa" -C "$A" merge >/dev/null; fewfull+=("$(elapsed "$t")")
  t=$(now); "$invexa" -C "$E" merge >/dev/null; fewempty+=("$(elapsed "$t")")
  rm -rf "$E"
done
rows=$((users * records))
m=$(best "${merge[@]}") fm=$(best "${fmerge[@]}") rm_=$(best "${remerge[@]}") v10=$(best "${vary10[@]}")
v50=$(best "${vary50[@]}") e=$(best "${export[@]}") fe=$(best "${fexport[@]}")
ff=$(best "${fewfull[@]}") fz=$(best "${fewempty[@]}")
printf 'rows in table:                 %s\n' "$rows"
printf 'invexa merge (fresh table):    %.3f s (%.3f us a row)\n' "$m" "$(echo "$m * 1000000 / $rows" | bc -l)"
printf 'floor filesov:                 %.3f s\n' "$fm"
printf 'invexa merge (full table):     %.3f s\n' "$rm_"
printf 're-scan, counts +-10%%:         %.3f s\n' "$v10"
printf 're-scan, counts +-50%%:         %.3f s\n' "$v50"
printf '%s users into the full table:  %.3f s\n' "$few" "$ff"
printf '%s users into an empty table: %.3f s\n' "$few" "$fz"
printf 'invexa export:                 %.3f s\n' "$e"
printf 'floor export (1 MB chunks):    %.3f s\n' "$fe"
if [ "$shell" = 1 ]; then
  i=$(best "${import[@]}") s=$(best "${sqlexport[@]}")
  printf 'sqlite3 .import:               %.3f s\n' "$i"
  printf 'sqlite3 -csv select:           %.3f s\n' "$s"
fi
printf 'merge / floor filesov:         %.2fx (goal <= 1.00x, stretch 0.90x)\n' "$(ratio "$m" "$fm")"
printf 'export / floor export:         %.2fx (goal <= 1.05x)\n' "$(ratio "$e" "$fe")"
if [ -n "$grid" ]; then
  printf 'CSV button / invexa export:    %.2fx (goal <= 1.10x at 3,000,000 rows)\n' \
    "$(ratio "$(best "${csvbutton[@]}")" "$(best "${csvtool[@]}")")"
fi
if [ "$shell" = 1 ]; then
  printf 'merge / .import:               %.2fx (goal <= 0.70x)\n' "$(ratio "$m" "$i")"
  printf 'export / sqlite3 -csv:         %.2fx (goal <= 1.00x)\n' "$(ratio "$e" "$s")"
fi
printf 're-merge / first merge:        %.2fx (goal <= 1.20x)\n' "$(ratio "$rm_" "$m")"
printf 're-scans / first merge:        %.2fx (+-10%%), %.2fx (+-50%%)\n' "$(ratio "$v10" "$m")" "$(ratio "$v50" "$m")"
printf '%s users, full / empty table:  %.2fx\n' "$few" "$(ratio "$ff" "$fz")"
