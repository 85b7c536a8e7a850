#!/usr/bin/env bash
# Runs one golden case in a fresh folder and prints the SHA-256 manifest of the
# files the run wrote (sha256sum format, sorted by name).
#
#   run_case.sh CASE_DIR VESKV2 MATHCASES_SO [RUN_DIR]
#
# A case folder holds:
#   args     the command-line arguments of veskv2 (one line, shell words)
#   example  optional: the name of a folder of examples/ whose files are copied
#            first (the case's own input files, if any, are copied over them)
#   path     optional: folders of the source tree put first on PATH, one a line
#   other files: input files copied into the run folder
#   expected.sha256  the manifest (not copied)
# Files named after an object address (0x...: working folders and batch files of
# external commands), the evaluation database, plots and run.log are not part
# of the manifest.
set -euo pipefail
case_dir=$(cd "$1" && pwd)
veskv2=$2
mathcases=$3
run_dir=${4:-}
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

cleanup=""
if [ -z "$run_dir" ]; then
    run_dir=$(mktemp -d "${TMPDIR:-/tmp}/vesk-golden.XXXXXX")
    cleanup=$run_dir
fi
trap '[ -n "$cleanup" ] && rm -rf "$cleanup"' EXIT
mkdir -p "$run_dir"

if [ -f "$case_dir/example" ]; then
    cp -r "$src/examples/$(cat "$case_dir/example")/." "$run_dir/"
fi
for f in "$case_dir"/*; do
    case "$(basename "$f")" in
        args|example|path|expected.sha256) ;;
        *) cp -r "$f" "$run_dir/" ;;
    esac
done
ln -sf "$mathcases" "$run_dir/mathcases.so"
if [ -f "$case_dir/path" ]; then
    while read -r p; do
        [ -n "$p" ] && PATH="$src/$p:$PATH"
    done < "$case_dir/path"
fi
inputs=$(cd "$run_dir" && ls -A)

read -r -a args < "$case_dir/args" || true
(cd "$run_dir" && "$veskv2" "${args[@]}" > run.log 2>&1) || {
    echo "veskv2 ${args[*]} failed in $run_dir; last lines of its output:" >&2
    tail -20 "$run_dir/run.log" >&2
    exit 1
}

cd "$run_dir"
for f in *; do
    [ -f "$f" ] || continue
    case "$f" in
        0x*|evaluations*.db*|*.eps|*.pdf|run.log) continue ;;
    esac
    # A here-string, not a pipe: under pipefail, grep -q leaving at the first
    # match can break the pipe under a writer still writing, and the input
    # would count as a result file.
    if grep -qxF -- "$f" <<<"$inputs"; then
        continue
    fi
    sha256sum "$f"
done | sort -k2
