#!/usr/bin/env bash
# Runs pg_merge_bench on a PostgreSQL server of its own (tests/support/pg_server.sh), with fsync on as a real
# server has it. Usage: bench/pg_merge.sh [USERS=10000] [RECORDS=100]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$repo" && BUILD_DIR=${BUILD_DIR:-build} INVEXA_BENCH=ON scripts/build.sh pg_merge_bench | tail -n 1)
dir=$(mktemp -d /tmp/invexa-pgbench.XXXXXX)
trap '"$repo/tests/support/pg_server.sh" stop "$dir"' EXIT
PG_FSYNC=on "$repo/tests/support/pg_server.sh" start "$dir"
"$repo/$build/bench/pg_merge_bench" "postgresql:///invexa_test?host=$dir&user=invexa" "${1:-10000}" "${2:-100}"
