#!/usr/bin/env bash
# The personal HTCondor pool (tools/htcondor-pool) for the tests labelled
# htcondor, as a CTest fixture, so that the pool starts once for all of them.
#
#   pool_fixture.sh start STATE_FILE   makes sure the pool runs
#   pool_fixture.sh stop STATE_FILE    stops it, when "start" started it
#
# "start" never fails: when the pool cannot be had (not root, no network for
# the first build, ...) it writes "unavailable: REASON" to the state file and
# the tests skip with that reason. Otherwise the file says whether the pool
# was started here ("started") or was running already ("running"), so that
# "stop" leaves alone a pool that someone else started.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
pool=$here/../../tools/htcondor-pool
[ $# -eq 2 ] || { echo "usage: pool_fixture.sh start|stop STATE_FILE" >&2; exit 2; }
state=$2

case $1 in
start)
    rm -f -- "$state"
    if [ "$(id -u)" -ne 0 ]; then
        echo "unavailable: the personal HTCondor pool needs root (chroot and mount)" >"$state"
        cat "$state"
        exit 0
    fi
    was=started
    # shellcheck source=../../tools/htcondor-pool/lib.sh
    if (source "$pool/lib.sh" && [ -e "$POOL_ROOT/$POOL_READY_MARK" ] && pool_master_running); then
        was=running
    fi
    log=$(mktemp)
    if bash "$pool/ensure.sh" >/dev/null 2>"$log"; then
        echo "$was" >"$state"
        cat "$log"
    else
        cat "$log"
        reason=$(grep -v '^\s*$' "$log" | tail -n 1)
        echo "unavailable: the personal HTCondor pool could not be started (${reason:-no message})" >"$state"
        cat "$state"
        # A start that failed half-way must leave no mount or daemon behind.
        [ "$was" = started ] && bash "$pool/stop.sh" >/dev/null 2>&1
    fi
    rm -f -- "$log"
    exit 0
    ;;
stop)
    if [ "$(cat "$state" 2>/dev/null)" = started ]; then
        bash "$pool/stop.sh"
    fi
    rm -f -- "$state"
    exit 0
    ;;
*)
    echo "usage: pool_fixture.sh start|stop STATE_FILE" >&2
    exit 2
    ;;
esac
