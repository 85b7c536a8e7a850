#!/usr/bin/env bash
# The include-edge checker on a small tree of its own: a checker that let
# every edge through would pass on the real tree just as well.
#
#   check_includes_test.sh CHECK_INCLUDES_SH
set -euo pipefail
check=$1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-includes.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

mkdir -p "$tmp"/Source/{model,optim,app,eval,plugins/P}
echo '#pragma once' >"$tmp/Source/model/A.h"
echo '#pragma once' >"$tmp/Source/app/X.h"
echo '#pragma once' >"$tmp/Source/eval/ADLL.h"
echo '#pragma once' >"$tmp/Source/eval/Other.h"
printf '#include <vector>\n#include "model/A.h"\n#include "B.h"\n  #  include "app/X.h"\n' \
    >"$tmp/Source/optim/B.cpp"
printf '#include "../../eval/ADLL.h"\n' >"$tmp/Source/plugins/P/P.cpp"

expect() { # expect STATUS TEXT EDGES...: runs the checker on the given edges
    local status=$1 text=$2 out rc=0
    shift 2
    printf '%s\n' "# a comment line" "$@" >"$tmp/edges.txt"
    out=$(bash "$check" "$tmp" "$tmp/edges.txt" 2>&1) || rc=$?
    if [ "$rc" -ne "$status" ] || ! grep -qF -- "$text" <<<"$out"; then
        printf 'edges: %s\nexpected status %s and "%s", got status %s:\n%s\n' \
            "$*" "$status" "$text" "$rc" "$out" >&2
        exit 1
    fi
}

expect 1 "Source/optim/B.cpp:4: include edge optim -> app (app/X.h) is not allowed" \
    "optim -> model  # why" "plugins -> eval/ADLL.h"
expect 0 "every include edge" \
    "optim -> model" "optim -> app/X.h" "plugins -> eval/ADLL.h"
expect 1 "edge app -> model is allowed but no include uses it" \
    "optim -> model" "optim -> app" "plugins -> eval/ADLL.h" "app -> model"
# An edge allowed for one header does not let another header of the folder in.
printf '#include "../../eval/Other.h"\n' >>"$tmp/Source/plugins/P/P.cpp"
expect 1 "Source/plugins/P/P.cpp:2: include edge plugins -> eval (eval/Other.h) is not allowed" \
    "optim -> model" "optim -> app" "plugins -> eval/ADLL.h"
echo "the include-edge checker catches what it should"
