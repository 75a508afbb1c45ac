#!/usr/bin/env bash
# Prints which layer includes which: one line per pair of folders, with the number of
# #include lines from the first to the second. A layer should include only itself, the
# layers below it and base/ (see jet/README.md for the engine's order).
#
#   scripts/include_graph.sh            the product's folders
#   scripts/include_graph.sh --headers  only what public headers include (what a layer
#                                       hands on to the layers above it)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

pattern='*.cc *.h'
[[ "${1:-}" == "--headers" ]] && pattern='*.h'

# The folder a file belongs to: jet's layers are its subfolders, the rest their top folder.
layer_of() {
  case "$1" in
    jet/*/*) echo "${1%/*}" | cut -d/ -f1-2 ;;
    */*) echo "${1%%/*}" ;;
    *) echo . ;;
  esac
}

# shellcheck disable=SC2086
git ls-files -- ${pattern} | grep -E '^(base|jet|db|upgrade|app|tools)/' | while read -r file; do
  from="$(layer_of "${file}")"
  { grep -oE '^#include "[^"]+"' "${file}" || true; } | sed -E 's/^#include "(.*)"/\1/' | while read -r inc; do
    [[ "${inc}" == */* ]] || continue
    to="$(layer_of "${inc}")"
    [[ "${to}" == "${from}" ]] || echo "${from} -> ${to}"
  done
done | sort | uniq -c | awk '{ printf "%-14s -> %-12s %4d\n", $2, $4, $1 }'
