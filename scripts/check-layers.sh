#!/usr/bin/env bash
# Refuses an include that crosses the layer rule: each folder of src/ may include only the folders listed for it
# (and system headers); the core layers may not include Qt. Run by scripts/test.sh and CI.
# Usage: scripts/check-layers.sh [SRC_DIR]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}
declare -A allowed=(
  [base]="base"
  [data]="base data"
  [config]="base config"
  [export]="base data export"
  [cli]="base data config export cli"
  [forms]="base data config export forms"
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
exit $status
