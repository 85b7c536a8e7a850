#!/usr/bin/env bash
# Stops the one-node Slurm cluster that start.sh started in the same state
# folder (SLURM_LOCAL_DIR): cancels its jobs, then stops slurmctld, slurmd and
# munged, each found through its own pid file, and waits until every one of
# them and every job step of the cluster has ended. Only this cluster's
# processes are signalled. Running it when nothing runs is fine.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"

export SLURM_CONF=$conf

# stop_daemon NAME PIDFILE: SIGTERM, then SIGKILL when it has not gone after
# 20 s, and wait until the process is gone.
stop_daemon() {
    local name=$1 pidfile=$2 pid i
    if ! daemon_running "$name" "$pidfile"; then
        rm -f "$pidfile"
        return 0
    fi
    pid=$(<"$pidfile")
    say "stopping $name (pid $pid)"
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 200; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        say "$name (pid $pid) ignored SIGTERM for 20 s; killing it"
        kill -KILL "$pid" 2>/dev/null || true
        while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
    fi
    rm -f "$pidfile"
}

# The job steps of this cluster: slurmstepd processes started by this
# cluster's slurmd, which passed its environment (with SLURM_CONF naming this
# cluster's configuration) on to them.
cluster_stepds() {
    local p
    for p in /proc/[0-9]*; do
        [[ $(cat "$p/comm" 2>/dev/null) == slurmstepd ]] || continue
        if tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "SLURM_CONF=$conf"; then
            echo "${p#/proc/}"
        fi
    done
}

cancel_jobs() {
    daemon_running slurmctld "$ctld_pid" || return 0
    local jobs
    jobs=$(squeue -h -o %A -t PD,R,CG,S,CF,RQ,RS,SE 2>/dev/null | wc -l) || return 0
    [[ $jobs -gt 0 ]] || return 0
    say "cancelling $jobs unfinished job(s)"
    scancel --partition=debug 2>/dev/null || true
    # Tasks get SIGTERM, then SIGKILL after KillWait (see slurm.conf).
    local i
    for ((i = 0; i < 600; i++)); do
        jobs=$(squeue -h -o %A -t PD,R,CG,S,CF,RQ,RS,SE 2>/dev/null | wc -l) || break
        [[ $jobs -gt 0 ]] || return 0
        sleep 0.1
    done
    say "warning: $jobs job(s) still had not ended after 60 s"
}

cancel_jobs
# slurmctld first: a slurmctld without its slurmd would mark the node down
# and requeue or fail what it believes runs there.
stop_daemon slurmctld "$ctld_pid"
stop_daemon slurmd "$slurmd_pid"

# A job step whose tasks ignore every signal can outlive the daemons; its
# slurmstepd would then hold the node's spool files. Say so and end it.
leftover=$(cluster_stepds)
if [[ -n $leftover ]]; then
    say "job steps still running after slurmd stopped: $(echo "$leftover" | tr '\n' ' ')"
    for pid in $leftover; do
        # The step's own processes are children of its slurmstepd.
        pkill -KILL -P "$pid" 2>/dev/null || true
        kill -KILL "$pid" 2>/dev/null || true
    done
fi

stop_daemon munged "$munge_pid"
say "the cluster in $state_dir is stopped"
