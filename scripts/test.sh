#!/usr/bin/env bash
# Installs what is missing, builds, runs every test through CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/check-layers.sh
build=$(scripts/build.sh | tail -n 1)
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"${JOBS:-2}" --timeout 300
