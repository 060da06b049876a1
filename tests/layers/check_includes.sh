#!/usr/bin/env bash
# Fails when a project include in src/ runs back up a layer or names no library. The layers,
# lowest first: acquisition <- settings <- display <- dialogs <- app, and dialogs does not use
# display. Tests and tools are exempt (they are not in src/).
#
#   check_includes.sh SRC_DIR
set -euo pipefail
src=${1:?usage: check_includes.sh SRC_DIR}

# The libraries each library may include from, itself included.
declare -A allowed=(
    [acquisition]="acquisition"
    [settings]="settings acquisition"
    [display]="display settings acquisition"
    [dialogs]="dialogs settings acquisition"
    [app]="app dialogs display settings acquisition"
)

nBad=0
nFiles=0
for lib in "${!allowed[@]}"; do
    [ -d "$src/$lib" ] || { echo "missing library folder $src/$lib"; exit 2; }
    while IFS= read -r -d '' file; do
        nFiles=$((nFiles + 1))
        # Only the include lines, each as "number:text".
        while IFS= read -r entry; do
            nLine=${entry%%:*}
            line=${entry#*:}
            if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
                target=${BASH_REMATCH[1]}
            elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<((acquisition|settings|display|dialogs|app)/[^\>]+)\> ]]; then
                target=${BASH_REMATCH[1]} # a project header written like a system one
            else
                continue
            fi
            if [[ $target != */* ]]; then
                echo "${file#"$src"/}:$nLine: \"$target\" does not name its library"
                nBad=$((nBad + 1))
                continue
            fi
            to=${target%%/*}
            if [[ " ${allowed[$lib]} " != *" $to "* ]]; then
                echo "${file#"$src"/}:$nLine: $lib includes \"$target\" from $to, which it may not use"
                nBad=$((nBad + 1))
            fi
        done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
    done < <(find "$src/$lib" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done

# Guard against a check that passes because it read nothing.
[ "$nFiles" -gt 0 ] || { echo "no sources found under $src"; exit 2; }
if [ "$nBad" -gt 0 ]; then
    echo "$nBad include(s) against the layers in $nFiles files"
    exit 1
fi
echo "$nFiles files, every project include within its layer"
