#!/usr/bin/env bash
# Includes run only downwards: each folder may include the folders of its row below and nothing else of the
# project's. Fails naming the file, the line and the include that runs sideways or upwards. The same order is in
# CMakeLists.txt, where each folder is a library linked only to the ones below it (docs/design-notes.md shows
# the picture). Usage: scripts/check-layers.sh [TOP]   (TOP: the checkout, default the one this script is in)
set -uo pipefail
top=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# folder: the folders it may include. A name with a slash is a single header (the link library reaches the
# core only through its seam).
declare -A may=(
  [core]="core"
  [dock]="dock core"
  [ui]="ui core"
  [transfer]="transfer core"
  [package]="package dock core"
  [crypto]="crypto"
  [secure]="secure crypto dock core"
  [archive]="archive dock core"
  [backup]="backup secure archive dock core"
  [export]="export archive dock core"
  [import]="import secure dock core"
  [keyboard]="keyboard secure dock core"
  [app]="app package transfer ui dock core dil"
  [cli]="cli backup export import keyboard secure archive crypto package transfer ui dock core dil"
  [dil]="dil core/link_ops.h"
  [newton]="newton crypto dock dil core"
)

allowed() {  # allowed FOLDER INCLUDE
  local rule
  for rule in ${may[$1]}; do
    if [[ $rule == */* ]]; then [ "$2" = "$rule" ] && return 0
    else [[ $2 == "$rule"/* ]] && return 0; fi
  done
  return 1
}

bad=0 files=0 folders=0
for folder in "${!may[@]}"; do
  [ -d "$top/$folder" ] || continue
  folders=$((folders + 1))
  while IFS= read -r -d '' file; do
    files=$((files + 1))
    while IFS=: read -r line include; do
      include=${include#*\"}; include=${include%%\"*}
      [[ $include == */* ]] || continue          # a header beside the file, or a generated one at the top
      first=${include%%/*}
      [ -n "${may[$first]+x}" ] || [ "$first" = tests ] || continue  # not a folder of the project's
      allowed "$folder" "$include" && continue
      echo "check-layers: ${file#"$top"/}:$line includes \"$include\": $folder/ may include only ${may[$folder]}"
      bad=$((bad + 1))
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  done < <(find "$top/$folder" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) -print0)
done
if [ $bad -gt 0 ]; then
  echo "check-layers: $bad include(s) against the layers"
  exit 1
fi
echo "check-layers: $files files in $folders folders include only the layers below them"
