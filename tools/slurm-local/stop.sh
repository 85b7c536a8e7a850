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

# alive PID: the process exists and has not exited. A daemon's parent is
# init, which may take a while to reap it; an exited process waiting for
# that (state Z) holds nothing any more and counts as gone.
alive() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n $state && $state != Z && $state != X ]]
}

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
        alive "$pid" || break
        sleep 0.1
    done
    if alive "$pid"; then
        say "$name (pid $pid) ignored SIGTERM for 20 s; killing it"
        kill -KILL "$pid" 2>/dev/null || true
        while alive "$pid"; do sleep 0.1; done
    fi
    rm -f "$pidfile"
}

# The job steps of this cluster: slurmstepd processes started by this
# cluster's slurmd, which passed its environment (with SLURM_CONF naming this
# cluster's configuration) on to them.
cluster_stepds() {
    local p comm
    for p in /proc/[0-9]*; do
        # read, not a command substitution: no process per entry of /proc.
        comm=""
        read -r comm 2>/dev/null <"$p/comm" || continue
        [[ $comm == slurmstepd ]] || continue
        alive "${p#/proc/}" || continue
        if tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "SLURM_CONF=$conf"; then
            echo "${p#/proc/}"
        fi
    done
}

cancel_jobs() {
    daemon_running slurmctld "$ctld_pid" || return 0
    local jobs
    jobs=$(squeue -h -o %A -t PD,R,CG,S,CF,RQ,RS,SE 2>/dev/null | wc -l) || return 0
    [[ $jobs -gt 0 ]] || return 0
    say "cancelling the jobs that have not finished"
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
    say "job steps still running after slurmd stopped (slurmstepd $(tr '\n' ' ' <<<"$leftover")); killing them and their processes"
    # The whole tree under each slurmstepd, gathered before anything is
    # killed: a killed parent's children are handed to init and could no
    # longer be told apart from anyone else's processes.
    tree=$(ps -e -o pid= -o ppid= | awk -v roots="$leftover" '
        BEGIN { n = split(roots, r, /[ \n]+/); for (i = 1; i <= n; i++) if (r[i] != "") keep[r[i]] = 1 }
        { parent[$1] = $2; pids[NR] = $1 }
        END {
            do {
                changed = 0
                for (i in pids) { p = pids[i]; if (!(p in keep) && (parent[p] in keep)) { keep[p] = 1; changed = 1 } }
            } while (changed)
            for (p in keep) print p
        }')
    # shellcheck disable=SC2086 # one pid per word
    kill -KILL $tree 2>/dev/null || true
    for pid in $tree; do
        while alive "$pid"; do sleep 0.1; done
    done
fi

stop_daemon munged "$munge_pid"
say "the cluster in $state_dir is stopped"
