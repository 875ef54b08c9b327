#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR). SANITIZE=1 builds with ASan and UBSan into build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."
"scripts/deps.sh"
build=${BUILD_DIR:-build}
args=(-DINVEXA_GUI="${INVEXA_GUI:-ON}" -DINVEXA_BENCH="${INVEXA_BENCH:-OFF}")
if [ "${SANITIZE:-0}" = 1 ]; then
  build=${BUILD_DIR:-build-sanitize}
  args+=(-DINVEXA_SANITIZE=ON)
fi
cmake -S . -B "$build" "${args[@]}" >/dev/null
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
cmake --build "$build" -j"${JOBS:-2}" "${targets[@]}" >&2
echo "$build"
