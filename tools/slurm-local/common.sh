# shellcheck shell=bash disable=SC2034 # the paths are used by the scripts that source this
# Shared by start.sh, stop.sh and selftest.sh: where the cluster lives and how
# to tell whether its daemons run. Sourced, not run.

state_dir=${SLURM_LOCAL_DIR:-/tmp/slurm-local-$(id -un)}
# Relative paths would break as soon as a daemon changes its directory.
case $state_dir in
/*) ;;
*) state_dir=$(pwd)/$state_dir ;;
esac
state_dir=${state_dir%/}

conf=$state_dir/slurm.conf
munge_key=$state_dir/munge/munge.key
munge_pid=$state_dir/munge/munged.pid
munge_socket=$state_dir/munge-socket/munge.socket
ctld_pid=$state_dir/run/slurmctld.pid
slurmd_pid=$state_dir/run/slurmd.pid

say() { printf 'slurm-local: %s\n' "$*"; }
die() {
    printf 'slurm-local: error: %s\n' "$*" >&2
    exit 1
}

# daemon_running NAME PIDFILE: true when the pid file names a live process
# that is this cluster's NAME. The command line must mention the state folder
# (every daemon is started with its configuration or socket path in it), so
# a stale pid reused by another process, or the machine's own daemon of the
# same name, never counts.
daemon_running() {
    local name=$1 pidfile=$2 pid cmdline
    [[ -r $pidfile ]] || return 1
    pid=$(<"$pidfile")
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    [[ -r /proc/$pid/cmdline ]] || return 1
    cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
    [[ $cmdline == *"$name"* && $cmdline == *"$state_dir/"* ]]
}

cluster_running() {
    daemon_running munged "$munge_pid" &&
        daemon_running slurmctld "$ctld_pid" &&
        daemon_running slurmd "$slurmd_pid"
}

# wait_for WHAT SECONDS COMMAND...: polls COMMAND every 0.1 s.
wait_for() {
    local what=$1 limit=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || die "gave up waiting for $what after $limit s"
        sleep 0.1
    done
}

write_env() {
    cat >"$state_dir/env.sh" <<EOF
# Source this file to use the cluster in $state_dir.
export SLURM_CONF=$conf
EOF
}

print_usage() {
    cat <<EOF

Slurm cluster in $state_dir (one node "localhost", partition "debug").
Use it from a shell with:

    export SLURM_CONF=$conf
    # or: source $state_dir/env.sh
    sinfo; sbatch ...; squeue; scancel ...

Logs: $state_dir/log/   Stop it with: ${SLURM_LOCAL_DIR:+SLURM_LOCAL_DIR=$state_dir }$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/stop.sh
EOF
}
