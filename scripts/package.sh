#!/usr/bin/env bash
# Builds the Debian package invexa-admin_<version>_<arch>.deb (release build, no tests, no benchmarks) and
# checks it with lintian. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
build=${BUILD_DIR:-build-package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DINVEXA_BENCH=OFF -DINVEXA_GUI=ON >/dev/null
cmake --build "$build" -j"${JOBS:-2}" >&2
rm -f "$build"/invexa-admin_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/invexa-admin_*.deb)
# Errors fail the build; warnings and notes are shown.
lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" >&2
realpath "$deb"
