#!/usr/bin/env bash
# The whole merge pass into PostgreSQL through the tool (USERS scan files of RECORDS records read, checked, merged
# and deleted), beside psql's \copy of the same rows into a table made like Results (the same index), on a server
# of its own (tests/support/pg_server.sh) with fsync on. Interleaved, RUNS rounds; the files go to /dev/shm.
# Usage: bench/pg_merge_pass.sh [USERS=10000] [RECORDS=100] [RUNS=3]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/$(cd "$repo" && BUILD_DIR=${BUILD_DIR:-build} INVEXA_BENCH=ON scripts/build.sh invexa gen_scanfiles | tail -n 1)
users=${1:-10000} records=${2:-100} runs=${3:-3}
dir=$(mktemp -d /tmp/invexa-pgpass.XXXXXX)
work=$(mktemp -d "$([ -w /dev/shm ] && echo /dev/shm || echo /tmp)/invexa-pgpass.XXXXXX")
trap '"$repo/tests/support/pg_server.sh" stop "$dir"; rm -rf "$work"' EXIT
PG_FSYNC=on "$repo/tests/support/pg_server.sh" start "$dir"
uri="postgresql:///invexa_test?host=$dir&user=invexa"
"$build/src/invexa" --store "$uri" init >/dev/null
psql -X -q "$uri" -c "CREATE TABLE copied (LIKE Results INCLUDING ALL)"
cols="UserName, AppMaker, AppName, Version, AppPath, Verification"
seconds() { local s=$(date +%s.%N); "$@"; echo "$(date +%s.%N) - $s" | bc; }
for run in $(seq "$runs"); do
  rm -rf "$work/f" && mkdir -p "$work/f"
  "$build/bench/gen_scanfiles" "$work/f" "$users" "$records" "$work/rows.csv" >/dev/null
  psql -X -q "$uri" -c "TRUNCATE Results; TRUNCATE Scans; TRUNCATE copied; CHECKPOINT"
  merge=$(seconds "$build/src/invexa" -C "$work/f" --store "$uri" merge --quiet)
  copy=$(seconds psql -X -q "$uri" -c "\\copy copied ($cols) FROM '$work/rows.csv' WITH (FORMAT csv)")
  left=$(find "$work/f/ivx" -type f | wc -l)
  printf 'run %d: merge %.2f s, \\copy %.2f s, %.2fx; files left %d\n' "$run" "$merge" "$copy" \
    "$(echo "$merge / $copy" | bc -l)" "$left"
done
