#!/usr/bin/env bash
# Runs grid_bench's window on a PostgreSQL server of its own (tests/support/pg_server.sh, fsync on as a real server
# has it), a fresh server for each run; the CSV button and the tool's export once a run.
# Usage: bench/pg_window.sh [ROWS=1000000] [RUNS=3]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$repo" && BUILD_DIR=${BUILD_DIR:-build} INVEXA_BENCH=ON scripts/build.sh grid_bench invexa | tail -n 1)
dir=$(mktemp -d /tmp/invexa-pgwindow.XXXXXX)
trap '"$repo/tests/support/pg_server.sh" stop "$dir"' EXIT
for run in $(seq "${2:-3}"); do
  echo "run $run, load $(cut -d' ' -f1-3 /proc/loadavg)"
  PG_FSYNC=on "$repo/tests/support/pg_server.sh" start "$dir"
  "$repo/$build/bench/grid_bench" --store "postgresql:///invexa_test?host=$dir&user=invexa" "${1:-1000000}" \
    "$repo/$build/src/invexa" 1
done
