#!/usr/bin/env bash
# MORVIK's folders are layers: a file may include its own folder and the
# folders below it, never one above. Prints every include that breaks the
# order and fails when there is one.
#   check_layers.sh [MORVIK_SOURCE_DIR]
set -u
src=${1:-$(dirname "$0")/../../morvik}
order=(driver sections symbols report addrspace state records)  # top to bottom

rank() {
  local i
  for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

bad=0
while IFS= read -r file; do
  rel=${file#"$src"/}
  layer=${rel%%/*}
  own=$(rank "$layer")
  if [ "$own" -lt 0 ]; then
    [ "$rel" = main.cpp ] && continue
    echo "$rel: not in a layer folder (${order[*]})"
    bad=1
    continue
  fi
  while IFS= read -r line; do
    target=$(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"morvik/\([a-z_]*\)/.*|\1|p' <<<"$line")
    [ -n "$target" ] || continue
    theirs=$(rank "$target")
    if [ "$theirs" -lt 0 ] || [ "$theirs" -lt "$own" ]; then
      echo "$rel: $layer must not include $target: ${line#*#}"
      bad=1
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"morvik/' "$file")
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

[ "$bad" -eq 0 ] && echo "layers ok: ${order[*]}"
exit "$bad"
