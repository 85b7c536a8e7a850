#!/usr/bin/env bash
# Stops the personal HTCondor pool that start.sh started: shuts the daemons
# down, ends whatever still runs inside the chroot (jobs, wrapped commands)
# and unmounts what start.sh mounted. The chroot itself stays in the cache for
# the next start. Does nothing when the pool is not running.
#
#   sudo tools/htcondor-pool/stop.sh
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$here/lib.sh"

pool_need_root stop.sh
if [ ! -d "$POOL_ROOT" ]; then
    pool_say "no pool in $POOL_DIR: nothing to stop"
    exit 0
fi
exec 9>"$POOL_DIR/pool.lock"
flock -w 900 9 || pool_die "another start or stop of the pool in $POOL_DIR did not finish"

# Waits up to $1 seconds for the chroot's processes to end; with a second
# argument, only for condor_master.
wait_gone() {
    local deadline=$(($(date +%s) + $1))
    while :; do
        if [ -n "${2:-}" ]; then
            pool_master_running || return 0
        else
            [ -n "$(pool_pids)" ] || return 0
        fi
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# Sends signal $1 to every process whose root is the chroot, and only those.
signal_all() {
    local pid
    for pid in $(pool_pids); do
        kill "-$1" "$pid" 2>/dev/null || true
    done
}

stopped=""
if pool_master_running; then
    # -fast: running jobs are ended, not given time to finish. The master
    # goes last, once its daemons have stopped.
    pool_chroot condor_off -fast -master >/dev/null 2>&1 || true
    wait_gone 30 condor_master || pool_say "condor_master did not stop within 30 s"
    stopped=yes
fi
# What is left are wrapped commands (a condor_wait, say) and anything the
# daemons could not end.
if ! wait_gone 1; then
    pool_say "ending the processes still running in the chroot: $(pool_pids | tr '\n' ' ')"
    signal_all TERM
    if ! wait_gone 5; then
        signal_all KILL
        wait_gone 5 || pool_die "processes remain in the chroot: $(pool_pids | tr '\n' ' ')"
    fi
    stopped=yes
fi

while IFS= read -r target; do
    umount -- "$target" || pool_die "cannot unmount $target"
    stopped=yes
done < <(pool_mounts_under "$POOL_ROOT")

if [ -n "$stopped" ]; then
    pool_say "stopped; the chroot stays in $POOL_ROOT"
else
    pool_say "not running: nothing to stop"
fi
