#!/usr/bin/env bash
# Runs the mutation fuzzer of veskv2's readers (tests/fuzz) for longer than
# the fuzz test of CI, under AddressSanitizer and UndefinedBehaviorSanitizer.
# Builds veskv2, the mathcases plug-in and the fuzzer into build-sanitize/
# first (as CI does).
#
#   scripts/fuzz.sh [--minutes M] [--seed N] [--jobs N] [--keep DIR] [other vesk_fuzz options]
#
# Defaults: 10 minutes, a new seed each run (printed: a failing case is
# replayed with --seed N --replay N:CASE), one job per processor. Failing
# cases are kept in DIR (default: fuzz-failures/ in the repository).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
minutes=10
seed=$(date +%s)
jobs=$(nproc)
keep="$ROOT/fuzz-failures"
extra=()
while [ $# -gt 0 ]; do
    case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    *) extra+=("$1"); shift ;;
    esac
done

BUILD_DIR="$ROOT/build-sanitize" CMAKE_EXTRA_ARGS="-DVESK_SANITIZE=ON -DVESK_BUILD_BENCH=OFF" \
    BUILD_TARGETS="veskv2 mathcases vesk_fuzz" bash -c "source '$ROOT/scripts/setup.sh'"
B="$ROOT/build-sanitize"
exec "$B/tests/vesk_fuzz" --veskv2 "$B/veskv2" --mathcases "$B/mathcases.so" --source "$ROOT" \
    --regressions "$ROOT/tests/fuzz/regressions" --seed "$seed" --minutes "$minutes" \
    --jobs "$jobs" --keep "$keep" "${extra[@]}"
