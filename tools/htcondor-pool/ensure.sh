#!/usr/bin/env bash
# For scripts and end-to-end tests: makes sure the personal pool runs (starting
# it when needed, see start.sh) and prints what a caller needs, as shell
# assignments on standard output:
#
#   VESK_HTCONDOR_POOL_BIN=<folder with the HTCondor commands, first on PATH>
#   VESK_HTCONDOR_POOL_UID=<uid that should own the run folders>
#   VESK_HTCONDOR_POOL_SHARE=<folders whose subfolders can be run folders>
#
# Messages go to standard error. Exit status 0 when the pool accepts jobs,
# 1 when it cannot be had (not root, no Debian mirror, ...).
#
#   eval "$(sudo tools/htcondor-pool/ensure.sh)"
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$here/lib.sh"

"$here/start.sh" >&2
printf 'VESK_HTCONDOR_POOL_BIN=%q\n' "$here/bin"
printf 'VESK_HTCONDOR_POOL_UID=%q\n' "$POOL_UID"
printf 'VESK_HTCONDOR_POOL_SHARE=%q\n' "$POOL_SHARE"
