#!/usr/bin/env bash
# Writes expected.sha256 of every golden case (or of the cases named) with the
# given build. Recapture only when a change of the result files is intended,
# and say in the commit which files changed and why.
#
#   tests/golden/capture.sh BUILD_DIR [CASE...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "$1" && pwd)
shift
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
    for d in "$here"/cases/*/; do cases+=("$(basename "$d")"); done
fi
for c in "${cases[@]}"; do
    "$here/run_case.sh" "$here/cases/$c" "$build/veskv2" "$build/mathcases.so" \
        > "$here/cases/$c/expected.sha256"
    echo "$c: $(wc -l < "$here/cases/$c/expected.sha256") files"
done
