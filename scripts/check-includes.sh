#!/usr/bin/env bash
# Checks the include edges between the folders of Source/ against the allowed
# list: every `#include "folder/..."` in Source/<from>/ that reaches another
# folder must be an edge of the list (from -> folder, or from -> folder/file
# for an edge allowed for one file only). Fails naming the file, the line and
# the edge of each include outside the list, and each edge of the list that
# no include uses any more, so that the list stays the real graph.
#
#   check-includes.sh [ROOT [EDGES_FILE]]
#
# ROOT defaults to the repository, EDGES_FILE to ROOT/scripts/include-edges.txt.
set -euo pipefail

root=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
edges_file=${2:-$root/scripts/include-edges.txt}
src=$root/Source
[ -d "$src" ] || { echo "check-includes: no folder $src" >&2; exit 2; }
[ -f "$edges_file" ] || { echo "check-includes: no file $edges_file" >&2; exit 2; }

# The allowed edges: "from -> to", anything after '#' a comment.
declare -A allowed=() used=()
while IFS= read -r line || [ -n "$line" ]; do
    line=${line%%#*}
    read -r from arrow to rest <<<"$line" || true
    [ -z "${from:-}" ] && continue
    if [ "$arrow" != "->" ] || [ -z "${to:-}" ] || [ -n "${rest:-}" ]; then
        echo "check-includes: $edges_file: cannot read the line \"$line\" (expected: from -> to)" >&2
        exit 2
    fi
    allowed["$from -> $to"]=1
done <"$edges_file"

declare -A folders=()
for dir in "$src"/*/; do
    dir=${dir%/}
    folders["${dir##*/}"]=1
done

failures=0
# One line per quoted include: file:line:included path.
while IFS=: read -r file lineno target; do
    rel=${file#"$src"/}
    from=${rel%%/*}
    case "$target" in
    ./* | ../*) target=$(realpath -m --relative-to="$src" "$(dirname "$file")/$target") ;;
    */*) ;;
    *) continue ;; # a file beside the includer
    esac
    to=${target%%/*}
    [ -n "${folders[$to]:-}" ] || continue
    [ "$to" = "$from" ] && continue
    if [ -n "${allowed["$from -> $to"]:-}" ]; then
        used["$from -> $to"]=1
    elif [ -n "${allowed["$from -> $target"]:-}" ]; then
        used["$from -> $target"]=1
    else
        echo "Source/$rel:$lineno: include edge $from -> $to ($target) is not allowed by ${edges_file#"$root"/}"
        failures=$((failures + 1))
    fi
done < <(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' \
             '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src" |
         sed -E 's/^([^:]*):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1:\2:\3/' |
         grep -v "^$src/[^/]*:" | sort -t: -k1,1 -k2,2n)

for edge in "${!allowed[@]}"; do
    if [ -z "${used[$edge]:-}" ]; then
        echo "${edges_file#"$root"/}: edge $edge is allowed but no include uses it any more; remove it"
        failures=$((failures + 1))
    fi
done

if [ "$failures" -gt 0 ]; then
    echo "check-includes: $failures problem(s) with the include edges between the folders of Source/"
    exit 1
fi
echo "check-includes: every include edge between the folders of Source/ is allowed"
