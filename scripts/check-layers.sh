#!/usr/bin/env bash
# Refuses an include that crosses the layer rule: each folder of src/ may include only the folders listed for it
# (and system headers); the core layers may not include Qt. Also refuses a file of src/ over 500 lines and a
# function over 60. Run by scripts/test.sh and CI.
# Usage: scripts/check-layers.sh [SRC_DIR]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}
declare -A allowed=(
  [base]="base"
  [data]="base data"
  [config]="base config"
  [export]="base data export"
  [pgsql]="base data pgsql"
  [cli]="base data config export pgsql cli"
  [forms]="base data config export pgsql forms"
)
status=0
for layer in "${!allowed[@]}"; do
  [ -d "$src/$layer" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    included=$(sed -E 's/.*#include[[:space:]]*"([^"]*)".*/\1/' <<<"${line#*:}")
    folder=${included%%/*}
    [ "$folder" = "$included" ] && folder=$layer # a header of the same folder, named without one
    if [[ " ${allowed[$layer]} " != *" $folder "* ]]; then
      echo "$file: $layer may not include $included (allowed: ${allowed[$layer]})" >&2
      status=1
    fi
  done < <(grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src/$layer" --include='*.h' --include='*.cpp' || true)
  if [ "$layer" != forms ]; then
    if grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$src/$layer" --include='*.h' --include='*.cpp' >&2; then
      echo "$layer may not include Qt" >&2
      status=1
    fi
  fi
done
# clang-format puts every function defined outside a class body at the left margin, its closing brace too: a
# function runs from the line its definition starts on to the next line that starts with "}" (one that starts
# with "};" closes a class or an initializer instead). Functions defined inside a class body are not measured.
too_long=$(find "$src" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 awk '
  FNR == 1 { start = 0; body = 0 }
  FNR == 501 { print FILENAME ": over 500 lines" }
  body && /^}/ {
    if ($0 !~ /^};/ && FNR - body >= 60) print FILENAME ":" body ": a function of " FNR - body + 1 " lines (at most 60)"
    body = 0; start = 0; next
  }
  body { next }
  /^[A-Za-z_~]/ && !/^(namespace|class|struct|enum|union|extern|using|typedef|static_assert)\>/ && !start { start = FNR }
  /;[[:space:]]*(\/\/.*)?$/ { start = 0 }
  start && /\{[[:space:]]*(\/\/.*)?$/ { body = start }
')
if [ -n "$too_long" ]; then
  echo "$too_long" >&2
  status=1
fi
exit $status
