# Shared by start.sh, stop.sh, ensure.sh and the command wrappers in bin/:
# where the pool lives, which processes and mounts belong to it, and the
# accounts that submit jobs. Sourced, never run.
#
# Settings (environment):
#   VESK_HTCONDOR_POOL_DIR    cache folder holding the chroot
#                             (default /var/cache/vesk-htcondor-pool)
#   VESK_HTCONDOR_POOL_SHARE  colon-separated host folders bind-mounted at the
#                             same path inside the chroot (default /tmp)
#   VESK_HTCONDOR_POOL_UID    uid of the default submitting account (default 2000)
#   VESK_HTCONDOR_POOL_MIRROR Debian mirror for the first build (default: the
#                             one this machine's apt uses)

# The settings are used by the scripts that source this file.
# shellcheck shell=bash disable=SC2034
POOL_DIR=${VESK_HTCONDOR_POOL_DIR:-/var/cache/vesk-htcondor-pool}
POOL_DIR=${POOL_DIR%/}
POOL_ROOT=$POOL_DIR/root
POOL_SHARE=${VESK_HTCONDOR_POOL_SHARE:-/tmp}
POOL_UID=${VESK_HTCONDOR_POOL_UID:-2000}
# The chroot holds everything HTCondor needs; the release is fixed because the
# settings below were worked out against its HTCondor (23.x).
POOL_SUITE=trixie
# Written last by a cold build: a chroot without it is incomplete.
POOL_READY_MARK=.vesk-htcondor-pool-ready

pool_die() {
    echo "htcondor-pool: $*" >&2
    exit 1
}

pool_say() {
    echo "htcondor-pool: $*" >&2
}

# A clean environment for commands run inside the chroot: the host's
# variables (library paths, locale, proxies of the build) mean nothing there.
pool_env=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root TERM=dumb)

pool_need_root() {
    [ "$(id -u)" -eq 0 ] || pool_die "$1 must run as root (it uses chroot and mount)."
}

# The chroot's path as the kernel reports it in /proc/PID/root.
pool_root_real() {
    readlink -f -- "$POOL_ROOT"
}

# Prints the PIDs of the processes whose root directory is the chroot: the
# HTCondor daemons, the jobs and any wrapped command still running. One find
# for all processes: a readlink per process is slow where forks are dear.
pool_pids() {
    local real
    real=$(pool_root_real) || return 0
    find /proc -mindepth 2 -maxdepth 2 -name root -printf '%h\t%l\n' 2>/dev/null |
        awk -F '\t' -v real="$real" '$2 == real && $1 ~ /^\/proc\/[0-9]+$/ { print substr($1, 7) }'
    return 0
}

# True when the pool's condor_master runs.
pool_master_running() {
    local pid comm
    for pid in $(pool_pids); do
        comm=""
        read -r comm <"/proc/$pid/comm" 2>/dev/null || true
        [ "$comm" = condor_master ] && return 0
    done
    return 1
}

# Prints the mount points below folder $1, deepest first.
pool_mounts_under() {
    local top
    top=$(readlink -f -- "$1") || return 0
    findmnt -rn -o TARGET | awk -v top="$top" '
        { gsub(/\\x20/, " ") }
        index($0, top "/") == 1 { print length($0) "\t" $0 }' |
        sort -rn | cut -f2-
}

# True when folder $1 of the host and the same path inside the chroot are the
# same folder (a shared run folder).
pool_visible() {
    local inside=$POOL_ROOT$1
    [ -d "$inside" ] && [ "$(stat -c %d:%i -- "$1")" = "$(stat -c %d:%i -- "$inside")" ]
}

# Runs a command inside the chroot as root with a clean environment.
pool_chroot() {
    "${pool_env[@]}" chroot "$POOL_ROOT" "$@"
}

# Prints "name:gid" of the chroot's account with uid $1, if there is one.
pool_passwd_entry() {
    awk -F: -v uid="$1" '$3 == uid { print $1 ":" $4; exit }' "$POOL_ROOT/etc/passwd"
}

# Makes sure the chroot has an account with uid $1 to submit jobs with, and
# prints "name:gid". HTCondor refuses jobs from root and runs each job as its
# submitter, so every submitting uid needs an account in the chroot; system
# accounts are refused because HTCondor will not run jobs as them either.
pool_account() {
    local uid=$1 entry
    [[ $uid =~ ^[0-9]+$ ]] || pool_die "not a uid: $uid"
    if [ "$uid" -lt 1000 ] || [ "$uid" -ge 65534 ]; then
        pool_die "uid $uid is root or a system account; HTCondor needs an ordinary user (uid 1000 to 65533) to submit jobs."
    fi
    entry=$(pool_passwd_entry "$uid")
    if [ -z "$entry" ]; then
        (
            # Two wrappers started at once must not both add the account.
            flock -w 60 8 || pool_die "cannot lock the account list of the pool"
            if [ -z "$(pool_passwd_entry "$uid")" ]; then
                pool_chroot getent group "$uid" >/dev/null ||
                    pool_chroot groupadd -g "$uid" "vesk$uid" ||
                    pool_die "cannot add group $uid to the chroot"
                pool_chroot useradd -u "$uid" -g "$uid" -M -d /nonexistent -s /bin/sh "vesk$uid" ||
                    pool_die "cannot add user $uid to the chroot"
            fi
        ) 8>"$POOL_DIR/accounts.lock" || exit 1
        entry=$(pool_passwd_entry "$uid")
    fi
    echo "$entry"
}
