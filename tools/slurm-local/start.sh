#!/usr/bin/env bash
# Starts a one-node Slurm cluster on this machine: a private munged, slurmctld
# and slurmd, all configured, logging and keeping their state in one folder.
# Nothing of the machine's own services is used or touched: the daemons get
# their own socket, ports, pid files and key, so a system Slurm or munge (or a
# colleague's cluster in another folder) can run beside this one.
#
# Environment:
#   SLURM_LOCAL_DIR    state folder (default /tmp/slurm-local-$USER)
#   SLURM_LOCAL_CPUS   processors the node offers (default: nproc)
#   SLURM_LOCAL_PORT   slurmctld port; slurmd uses the next one (default: the
#                      first free pair from 6817 on, chosen at a cold start)
#   SLURM_LOCAL_CONF_EXTRA  slurm.conf lines that replace or add settings
#
# Running it again while the cluster runs only reports that it runs.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"

install_packages() {
    local missing=()
    local cmd
    for cmd in munged mungekey munge unmunge slurmctld slurmd sbatch squeue sinfo scontrol scancel srun; do
        command -v "$cmd" >/dev/null 2>&1 || missing+=("$cmd")
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    if [[ $(id -u) -ne 0 ]]; then
        die "missing commands: ${missing[*]}; install the Debian packages slurm-wlm and munge (as root: apt-get install slurm-wlm munge)"
    fi
    say "installing slurm-wlm and munge (missing: ${missing[*]})"
    # The packages' maintainer scripts would start the machine-wide munged,
    # slurmctld and slurmd through their init scripts. This cluster does not
    # use them, so forbid service starts for the duration of the install,
    # unless the machine already has its own policy.
    local policy=/usr/sbin/policy-rc.d own_policy=0
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\n# temporary, from slurm-local/start.sh\nexit 101\n' >"$policy"
        chmod 0755 "$policy"
        own_policy=1
        trap 'rm -f /usr/sbin/policy-rc.d' EXIT
    fi
    export DEBIAN_FRONTEND=noninteractive
    if ! apt-get install -y --no-install-recommends slurm-wlm munge; then
        say "apt-get install failed; updating the package lists and trying again"
        apt-get update
        apt-get install -y --no-install-recommends slurm-wlm munge
    fi
    if [[ $own_policy -eq 1 ]]; then
        rm -f "$policy"
        trap - EXIT
    fi
}

port_in_use() {
    # ss lists listening TCP sockets; a port bound by anyone counts as taken.
    ss -Htln "sport = :$1" 2>/dev/null | grep -q .
}

choose_ports() {
    if [[ -n ${SLURM_LOCAL_PORT:-} ]]; then
        ctld_port=$SLURM_LOCAL_PORT
        [[ $ctld_port =~ ^[0-9]+$ ]] || die "SLURM_LOCAL_PORT must be a number, not '$ctld_port'"
        slurmd_port=$((ctld_port + 1))
        port_in_use "$ctld_port" && die "port $ctld_port (SLURM_LOCAL_PORT) is in use"
        port_in_use "$slurmd_port" && die "port $slurmd_port (SLURM_LOCAL_PORT + 1) is in use"
        return 0
    fi
    local p
    for ((p = 6817; p < 6917; p += 2)); do
        if ! port_in_use "$p" && ! port_in_use $((p + 1)); then
            ctld_port=$p
            slurmd_port=$((p + 1))
            return 0
        fi
    done
    die "no free pair of ports between 6817 and 6916; set SLURM_LOCAL_PORT"
}

write_config() {
    local user cpus mem_mb
    user=$(id -un)
    cpus=${SLURM_LOCAL_CPUS:-$(nproc)}
    [[ $cpus =~ ^[1-9][0-9]*$ ]] || die "SLURM_LOCAL_CPUS must be a positive number, not '$cpus'"
    # Offer 90 % of the memory: slurmd drains a node that has less than its
    # configured RealMemory, and memory is not a consumable here (CR_CPU), so
    # the value only bounds what a single job may ask for with --mem.
    mem_mb=$(awk '/^MemTotal:/ { printf "%d", $2 / 1024 * 0.9 }' /proc/meminfo)

    cat >"$conf.new" <<EOF
# Written by slurm-local/start.sh at every cold start; edits are overwritten.
ClusterName=vesklocal
SlurmctldHost=localhost
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
# The daemons run as whoever starts the cluster. As root, jobs of every
# user run as that user; as anyone else, only that user's jobs can run.
SlurmUser=$user
SlurmdUser=$user

# Authentication through the cluster's own munged.
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$munge_socket

# Everything the daemons keep or write lives in the state folder.
StateSaveLocation=$state_dir/ctld
SlurmdSpoolDir=$state_dir/spool
SlurmctldPidFile=$state_dir/run/slurmctld.pid
SlurmdPidFile=$state_dir/run/slurmd.pid
SlurmctldLogFile=$state_dir/log/slurmctld.log
SlurmdLogFile=$state_dir/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info

# No cgroups: the machine has no systemd to delegate them and none are
# needed to run one user's jobs. linuxproc finds a step's processes through
# their parent links.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
# Debian's build offers PMIx, whose library is not installed: without this
# every daemon and step logs errors about it.
MpiDefault=none

# Processors are the only consumable: with memory as well, a job without
# --mem would take the whole node and array tasks would run one at a time.
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU

SchedulerType=sched/backfill
# Consider a submitted batch job at the scheduler's next pass (within a
# second) instead of allowing up to 3 s of delay, which is meant for sites
# that receive thousands of jobs a second.
SchedulerParameters=batch_sched_delay=0

# slurmd reports the end of an epilog to slurmctld, which then runs the
# scheduler at once; without an epilog the end of a job only frees its CPUs
# for the next pass of the scheduler's one-second loop, so a node started
# about one job per CPU and second. A no-op epilog makes short array tasks
# follow each other within about 0.1 s.
Epilog=/bin/true

# On scancel and at a time limit, tasks get SIGTERM and, when still alive
# KillWait seconds later, SIGKILL; the CPU stays taken until then. Sites
# commonly keep the default of 30 s; 5 s keeps tests that cancel short.
KillWait=5

# Finished jobs stay visible to squeue -t all and scontrol for at least
# 10 minutes (then slurmctld drops them at one of its periodic purges).
MinJobAge=600
# One line per finished job (or array task) in a plain text file.
JobCompType=jobcomp/filetxt
JobCompLoc=$state_dir/log/jobcomp.txt
MailProg=/bin/true
# The node is usable again as soon as its slurmd registers, even after
# slurmctld had marked it DOWN (slurmd stopped, machine suspended).
ReturnToService=2

# Take the node as configured: SLURM_LOCAL_CPUS may offer more processors
# than the machine has, which would otherwise drain the node.
SlurmdParameters=config_overrides
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$mem_mb State=UNKNOWN
PartitionName=debug Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
    if [[ -n ${SLURM_LOCAL_CONF_EXTRA:-} ]]; then
        # Slurm would take the last value of a repeated key but complains
        # about it at every daemon start, so drop the keys given here from
        # the lines above before appending them.
        awk -v extra="$SLURM_LOCAL_CONF_EXTRA" '
            BEGIN {
                n = split(extra, lines, "\n")
                for (i = 1; i <= n; i++)
                    if (match(lines[i], /^[ \t]*[A-Za-z]+=/)) {
                        key = tolower(substr(lines[i], RSTART, RLENGTH))
                        gsub(/[ \t]/, "", key)
                        override[key] = 1
                    }
            }
            {
                if (match($0, /^[A-Za-z]+=/) && (tolower(substr($0, RSTART, RLENGTH)) in override))
                    next
                print
            }
            END { print "\n# From SLURM_LOCAL_CONF_EXTRA"; print extra }
        ' "$conf.new" >"$conf.extra"
        mv "$conf.extra" "$conf.new"
    fi
    mv "$conf.new" "$conf"
}

start_munged() {
    if daemon_running munged "$munge_pid"; then
        return 0
    fi
    if [[ ! -s $munge_key ]]; then
        mungekey --create --keyfile="$munge_key"
    fi
    chmod 0600 "$munge_key"
    rm -f "$munge_socket" "$munge_socket.lock"
    munged --socket="$munge_socket" --key-file="$munge_key" --pid-file="$munge_pid" \
        --log-file="$state_dir/munge/munged.log" --seed-file="$state_dir/munge/munged.seed" ||
        die "munged did not start; see $state_dir/munge/munged.log"
    wait_for "munged" 10 munge_works
}

munge_works() {
    munge -n -S "$munge_socket" 2>/dev/null | unmunge -S "$munge_socket" >/dev/null 2>&1
}

node_state() {
    sinfo -h -N -n localhost -o %T 2>/dev/null | head -n 1
}

node_ready() {
    case $(node_state) in
    idle | mixed | allocated) return 0 ;;
    *) return 1 ;;
    esac
}

# job_field ID NAME: one field of `scontrol -o show job ID`.
job_field() {
    scontrol -o show job "$1" 2>/dev/null | tr ' ' '\n' | sed -n "s/^$2=//p" | head -n 1
}

job_ended() {
    case $(job_field "$1" JobState) in
    PENDING | CONFIGURING | RUNNING | COMPLETING | SUSPENDED | "") return 1 ;;
    *) return 0 ;;
    esac
}

unfinished_jobs() {
    squeue -h -o %i -t PD,R,CG,S,CF,RQ,RS,SE 2>/dev/null
}

# stop.sh cancels every job before it stops the daemons, so a job that is
# still pending or running at a cold start was left by daemons that were
# killed (or a machine that went down). Its processes are gone, but
# slurmctld would keep its CPUs taken until it noticed; cancel it.
cancel_leftover_jobs() {
    local left
    left=$(unfinished_jobs)
    [[ -n $left ]] || return 0
    say "cancelling job(s) left from an earlier run that was not stopped with stop.sh: $(tr '\n' ' ' <<<"$left")"
    # shellcheck disable=SC2086 # one job id per word
    scancel $left 2>/dev/null || true
    wait_for "the left-over jobs to end" 60 no_unfinished_jobs
}

no_unfinished_jobs() {
    [[ -z $(unfinished_jobs) ]]
}

main() {
    install_packages

    if cluster_running; then
        say "the cluster in $state_dir runs already (slurmctld pid $(cat "$ctld_pid"), slurmd pid $(cat "$slurmd_pid"))"
        print_usage
        return 0
    fi
    # A partial cluster (one daemon died, or a crash) is stopped first so that
    # the start below always begins from the same point.
    if daemon_running slurmctld "$ctld_pid" || daemon_running slurmd "$slurmd_pid"; then
        say "part of the cluster runs; stopping it first"
        "$here/stop.sh"
    fi

    local t0=$SECONDS
    mkdir -p "$state_dir"
    mkdir -p "$state_dir/ctld" "$state_dir/spool" "$state_dir/log" "$state_dir/run"
    mkdir -p "$state_dir/munge" "$state_dir/munge-socket"
    # munged insists on a private key folder and on a socket folder that
    # every user may enter (every user's Slurm commands authenticate
    # through it).
    chmod 0700 "$state_dir/munge"
    chmod 0755 "$state_dir" "$state_dir/munge-socket"

    start_munged
    choose_ports
    write_config
    write_env

    export SLURM_CONF=$conf
    # From here on a failure leaves no half-started cluster behind; the logs
    # stay for finding out what went wrong.
    trap 'say "start failed; stopping what was started"; "$here/stop.sh" >/dev/null 2>&1 || true' EXIT
    # -i: go on even when saved state from an earlier run cannot be read.
    slurmctld -f "$conf" -i || die "slurmctld did not start; see $state_dir/log/slurmctld.log"
    # The node name is localhost in the configuration, not the host name.
    slurmd -f "$conf" -N localhost || die "slurmd did not start; see $state_dir/log/slurmd.log"
    wait_for "the node to become idle" 60 node_ready
    cancel_leftover_jobs
    say "node ready after $((SECONDS - t0)) s; running a test job"

    # One interactive and one batch job. The batch job also waits out the
    # first pass of the scheduler, which slurmctld makes only a few seconds
    # after it starts, so that the caller's first batch job waits no longer
    # than any later one.
    local out id state
    out=$(cd / && timeout 60 srun --job-name=slurm-local-test true 2>&1) ||
        die "the test job (srun true) failed: $out"
    id=$(sbatch --parsable --job-name=slurm-local-test --chdir=/ -o /dev/null -e /dev/null --wrap=true) ||
        die "sbatch of the test job failed"
    wait_for "test batch job $id to end" 60 job_ended "$id"
    state=$(job_field "$id" JobState)
    [[ $state == COMPLETED ]] || die "test batch job $id ended $state; see $state_dir/log/"
    say "test jobs ran; cluster up in $((SECONDS - t0)) s"
    trap - EXIT
    print_usage
}

main "$@"
