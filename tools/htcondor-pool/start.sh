#!/usr/bin/env bash
# Starts a personal HTCondor pool (one machine, all daemons) in a Debian chroot
# kept in a cache folder, and waits until it accepts jobs.
#
#   sudo tools/htcondor-pool/start.sh
#
# The first start builds the chroot with debootstrap and installs HTCondor's
# "minicondor" package into it (a few minutes, needs the Debian mirror this
# machine's apt uses); later starts reuse it (a few seconds). When the pool
# already runs this only says so. See README.md beside this script for the
# settings (VESK_HTCONDOR_POOL_*).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$here/lib.sh"

pool_need_root start.sh
mkdir -p -- "$POOL_DIR"
exec 9>"$POOL_DIR/pool.lock"
flock -w 900 9 || pool_die "another start or stop of the pool in $POOL_DIR did not finish"

started=$(date +%s.%N)
seconds() {
    awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'
}

# Prints the URI of the Debian archive this machine's apt uses: the entry
# whose suite is the machine's own release (not -updates or -security).
host_mirror() {
    local codename file
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || return 1
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk -v suite="$codename" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == suite) { print $i; exit }
            }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # deb822: paragraphs of "Field: value" lines separated by blank lines.
        awk -v suite="$codename" '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && enabled != "no" && (" " suites " ") ~ (" " suite " "))
                    { split(uris, u, " "); print u[1]; found = 1 }
                types = uris = suites = enabled = ""
            }
            /^[ \t]*$/ { flush(); if (found) exit; next }
            /^[ \t]*#/ { next }
            tolower($1) == "types:"   { $1 = ""; types = $0 }
            tolower($1) == "uris:"    { $1 = ""; uris = $0 }
            tolower($1) == "suites:"  { $1 = ""; suites = $0 }
            tolower($1) == "enabled:" { enabled = tolower($2) }
            END { if (!found) flush() }' "$file"
    done | head -n 1
}

# Removes what an interrupted build left in folder $1, its mounts first so
# that nothing of the host below a bind mount is deleted.
discard_partial() {
    local target
    [ -e "$1" ] || return 0
    while IFS= read -r target; do
        umount -- "$target" || pool_die "cannot unmount $target of an unfinished build"
    done < <(pool_mounts_under "$1")
    rm -rf --one-file-system -- "$1"
}

build_chroot() {
    local mirror new=$POOL_DIR/root.new
    if ! command -v debootstrap >/dev/null; then
        pool_say "installing debootstrap with apt-get"
        apt-get install -y -q debootstrap >&2 ||
            { apt-get update -q >&2 && apt-get install -y -q debootstrap >&2; } ||
            pool_die "cannot install debootstrap"
    fi
    mirror=${VESK_HTCONDOR_POOL_MIRROR:-$(host_mirror)}
    [ -n "$mirror" ] || pool_die "no Debian mirror found in /etc/apt/sources.list{,.d}; set VESK_HTCONDOR_POOL_MIRROR"
    pool_say "building the chroot in $new from $mirror ($POOL_SUITE, once; a few minutes)"
    discard_partial "$new"
    # dpkg makes every unpacked file durable one by one; a throw-away chroot
    # that is rebuilt when a build fails does not need that, and skipping it
    # saves much of the build time where file syncs are slow.
    mkdir -p -- "$new/etc/dpkg/dpkg.cfg.d"
    echo force-unsafe-io >"$new/etc/dpkg/dpkg.cfg.d/vesk-unsafe-io"
    debootstrap --variant=minbase "$POOL_SUITE" "$new" "$mirror" >"$POOL_DIR/debootstrap.log" 2>&1 ||
        pool_die "debootstrap failed; see $POOL_DIR/debootstrap.log"
    # There is no init system in the chroot: package scripts must not try to
    # start the daemons, start.sh does.
    printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
    chmod 755 "$new/usr/sbin/policy-rc.d"
    mount -t proc proc "$new/proc"
    if ! "${pool_env[@]}" DEBIAN_FRONTEND=noninteractive chroot "$new" \
        apt-get install -y -q --no-install-recommends minicondor >>"$POOL_DIR/debootstrap.log" 2>&1; then
        umount "$new/proc"
        pool_die "installing minicondor in the chroot failed; see $POOL_DIR/debootstrap.log"
    fi
    "${pool_env[@]}" chroot "$new" apt-get clean
    umount "$new/proc"
    touch "$new/$POOL_READY_MARK"
    mv -- "$new" "$POOL_ROOT"
    pool_say "chroot ready after $(seconds) s"
}

# Mounts proc and the shared folders (same path inside as outside), each once.
# stop.sh unmounts everything mounted below the chroot.
mount_all() {
    local share
    mountpoint -q "$POOL_ROOT/proc" || mount -t proc proc "$POOL_ROOT/proc"
    local IFS=:
    for share in $POOL_SHARE; do
        [ -n "$share" ] || continue
        share=$(readlink -f -- "$share") || pool_die "shared folder $share does not exist"
        [ -d "$share" ] || pool_die "shared folder $share is not a folder"
        case $share in
        / | /proc | /proc/* | /sys | /sys/* | /dev | /dev/* | "$POOL_DIR" | "$POOL_DIR"/*)
            pool_die "cannot share $share with the pool" ;;
        esac
        if ! pool_visible "$share"; then
            mkdir -p -- "$POOL_ROOT$share"
            mount --bind -- "$share" "$POOL_ROOT$share"
        fi
    done
}

configure() {
    local etc=$POOL_ROOT/etc/condor/config.d
    # Names must resolve inside as outside.
    cp -- /etc/hosts "$POOL_ROOT/etc/hosts"
    # 50-: a local file such as 99-local in the same folder overrides these.
    cat >"$etc/50-vesk-pool" <<'EOF'
# Written by tools/htcondor-pool/start.sh (rewritten at every start; put your
# own settings in a later file such as 99-local and run condor_reconfig).
#
# The chroot's "/" is not a mount point, so the starter cannot give jobs a
# private mount namespace: without this every job is held with "Failed to
# unshare the mount namespace".
MOUNT_UNDER_SCRATCH =
# No PID namespaces or IPv6 inside a chroot of a container.
USE_PID_NAMESPACES = False
ENABLE_IPV6 = False
# A job held because an output file was missing leaves its starter waiting
# for the job lease, and the slot stays in Preempting/Vacating until the
# vacate time runs out: 10 minutes by default, during which the slot runs no
# other job. A test pool with two slots cannot afford that.
MachineMaxVacateTime = 5
# Periodic job expressions (periodic_remove, periodic_hold, ...) are looked
# at every 5 s instead of every 60 s, so that tests see their effect quickly.
PERIODIC_EXPR_INTERVAL = 5
EOF
    # What systemd's tmpfiles would create on a booted system.
    pool_chroot install -d -o condor -g condor -m 755 /run/condor /var/lock/condor \
        /var/lib/condor/execute /var/log/condor
    # A fresh queue at every start: jobs of an earlier session (maybe held
    # forever) must not run again or keep slots busy.
    local queue_log
    queue_log=$(pool_chroot condor_config_val JOB_QUEUE_LOG) ||
        pool_die "cannot read HTCondor's configuration in the chroot"
    rm -f -- "$POOL_ROOT$queue_log" "$POOL_ROOT$queue_log".*
    pool_account "$POOL_UID" >/dev/null
}

# Waits until the collector lists the slots and the schedd answers a query.
wait_ready() {
    local deadline=$(($(date +%s) + 90)) slots
    while :; do
        slots=$(pool_chroot condor_status -af TotalCpus 2>/dev/null | awk 'NR == 1 { printf "%d", $1 }') || slots=""
        if [ -n "$slots" ] && pool_chroot condor_q -totals >/dev/null 2>&1; then
            pool_say "pool ready: $slots CPU(s) for jobs; run folders under ${POOL_SHARE//:/, }; submitting uid $POOL_UID (or the owner of the run folder)"
            return 0
        fi
        if ! pool_master_running; then
            pool_die "condor_master stopped; see $POOL_ROOT/var/log/condor/MasterLog"
        fi
        [ "$(date +%s)" -lt "$deadline" ] ||
            pool_die "the pool did not answer within 90 s; see $POOL_ROOT/var/log/condor/"
        sleep 0.5
    done
}

if pool_master_running; then
    pool_say "already running (chroot $POOL_ROOT)"
    wait_ready
    exit 0
fi

if [ ! -e "$POOL_ROOT/$POOL_READY_MARK" ]; then
    [ -e "$POOL_ROOT" ] && pool_die "$POOL_ROOT exists but is not a finished build; remove it (after stop.sh) to rebuild"
    build_chroot
else
    pool_say "reusing the chroot $POOL_ROOT"
fi

mount_all
configure
# setsid: the daemons must not belong to the caller's session or process
# group, which may be ended when the caller finishes. They must not inherit
# the lock either, or no later start or stop could take it.
setsid "${pool_env[@]}" chroot "$POOL_ROOT" /usr/sbin/condor_master </dev/null >/dev/null 2>&1 9>&- ||
    pool_die "condor_master did not start; see $POOL_ROOT/var/log/condor/MasterLog"
wait_ready
pool_say "started in $(seconds) s"
