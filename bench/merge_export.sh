#!/usr/bin/env bash
# Times `invexa merge` of USERS scan files of RECORDS records against the sqlite3 shell's .import of the same
# rows into the same schema and index, the re-merge of the same users into the full table, then two later scans
# of the same computers whose record counts changed by up to 10 and then 50 percent, and `invexa export` against
# `sqlite3 -csv`. Best of RUNS, printed as ratios.
# Usage: bench/merge_export.sh [USERS=5000] [RECORDS=200] [RUNS=3]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
users=${1:-5000} records=${2:-200} runs=${3:-3}
build=$(cd "$repo" && BUILD_DIR=${BUILD_DIR:-build} INVEXA_BENCH=ON scripts/build.sh invexa gen_scanfiles | tail -n 1)
invexa="$repo/$build/src/invexa"
gen="$repo/$build/bench/gen_scanfiles"
work=$(mktemp -d /tmp/invexa-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
schema="CREATE TABLE Results (UserName VARCHAR(16), AppMaker VARCHAR(32), AppName VARCHAR(32), Version VARCHAR(6), AppPath VARCHAR(255), Verification SMALLINT); CREATE INDEX ResultsUserName ON Results(UserName);"

now() { date +%s.%N; }
elapsed() { echo "$(now) - $1" | bc -l; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
declare -a merge remerge vary10 vary50 import export sqlexport

"$gen" "$work/csvsrc" "$users" "$records" "$work/rows.csv"
for ((r = 1; r <= runs; r++)); do
  rm -rf "$work/w" "$work/s.sqlite" && mkdir "$work/w"
  "$invexa" -C "$work/w" init >/dev/null
  "$gen" "$work/w" "$users" "$records"; sync
  t=$(now); "$invexa" -C "$work/w" merge >/dev/null; merge+=("$(elapsed "$t")")
  "$gen" "$work/w" "$users" "$records"; sync
  t=$(now); "$invexa" -C "$work/w" merge >/dev/null; remerge+=("$(elapsed "$t")")
  sqlite3 "$work/s.sqlite" "$schema"; sync
  t=$(now); sqlite3 "$work/s.sqlite" ".mode csv" ".import $work/rows.csv Results"; import+=("$(elapsed "$t")")
  t=$(now); "$invexa" -C "$work/w" export >/dev/null; export+=("$(elapsed "$t")")
  t=$(now); sqlite3 -csv "$work/w/Results.sqlite" "SELECT UserName, AppMaker, AppName, Version, Verification, AppPath FROM Results" >"$work/sql.csv"; sqlexport+=("$(elapsed "$t")")
  "$gen" "$work/w" "$users" "$records" - 10; sync
  t=$(now); "$invexa" -C "$work/w" merge >/dev/null; vary10+=("$(elapsed "$t")")
  "$gen" "$work/w" "$users" "$records" - 50; sync
  t=$(now); "$invexa" -C "$work/w" merge >/dev/null; vary50+=("$(elapsed "$t")")
done
rows=$(sqlite3 "$work/s.sqlite" "SELECT count(*) FROM Results")
m=$(best "${merge[@]}") rm_=$(best "${remerge[@]}") v10=$(best "${vary10[@]}") v50=$(best "${vary50[@]}") i=$(best "${import[@]}") e=$(best "${export[@]}") s=$(best "${sqlexport[@]}")
printf 'rows in table:                 %s\n' "$rows"
printf 'invexa merge (fresh table):    %.3f s\n' "$m"
printf 'sqlite3 .import:               %.3f s\n' "$i"
printf 'invexa merge (full table):     %.3f s\n' "$rm_"
printf 're-scan, counts +-10%%:         %.3f s\n' "$v10"
printf 're-scan, counts +-50%%:         %.3f s\n' "$v50"
printf 'invexa export:                 %.3f s\n' "$e"
printf 'sqlite3 -csv select:           %.3f s\n' "$s"
printf 'merge / .import:               %.2fx (goal <= 0.70x)\n' "$(echo "$m / $i" | bc -l)"
printf 're-merge / first merge:        %.2fx (goal <= 1.20x)\n' "$(echo "$rm_ / $m" | bc -l)"
printf 're-scans / first merge:        %.2fx (+-10%%), %.2fx (+-50%%)\n' "$(echo "$v10 / $m" | bc -l)" "$(echo "$v50 / $m" | bc -l)"
printf 'export / sqlite3 -csv:         %.2fx (goal <= 1.00x)\n' "$(echo "$e / $s" | bc -l)"
