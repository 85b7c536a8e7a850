#!/usr/bin/env bash
# Runs one HTCondor command of the personal pool inside its chroot, in the
# caller's current folder, as the owner of that folder, with the arguments
# and the exit status passed through unchanged. The commands in bin/ call it.
#
#   run-in-pool.sh COMMAND [ARGUMENT...]
#
# HTCondor refuses jobs from root, so a command runs as the uid that owns the
# current folder (an account for it is added to the chroot on first use); a
# folder owned by root is refused. The folder must be visible at the same
# path inside the chroot (a shared folder of start.sh, /tmp by default), so
# that the paths in submit files and logs mean the same on both sides.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$here/lib.sh"

[ $# -ge 1 ] || pool_die "usage: run-in-pool.sh COMMAND [ARGUMENT...]"
command=$1
shift
case $command in
condor_submit | condor_wait | condor_rm | condor_q | condor_history | condor_status | condor_release) ;;
*) pool_die "$command is not one of the pool's wrapped commands" ;;
esac
[ "$(id -u)" -eq 0 ] ||
    pool_die "$command of the personal pool must run as root (it enters the pool's chroot); the job itself runs as the owner of the current folder."
if [ ! -e "$POOL_ROOT/$POOL_READY_MARK" ] || ! pool_master_running; then
    pool_die "the personal pool is not running; start it with $here/start.sh"
fi

cwd=$(pwd -P)
uid=$(stat -c %u -- "$cwd")
usable=yes
if ! pool_visible "$cwd"; then
    usable="the current folder $cwd is not visible inside the pool; run from a folder under ${POOL_SHARE//:/ or } (the folders shared by start.sh, see VESK_HTCONDOR_POOL_SHARE)"
elif [ "$uid" -eq 0 ]; then
    usable="the current folder $cwd belongs to root, and HTCondor accepts no jobs from root; give the run folder to an ordinary user, e.g. chown -R $POOL_UID:$POOL_UID $cwd"
fi
if [ "$usable" != yes ]; then
    case $command in
    # Queries need no run folder: they run as the default account in "/".
    condor_q | condor_history | condor_status)
        cwd=/
        uid=$POOL_UID
        ;;
    *) pool_die "$usable" ;;
    esac
fi
entry=$(pool_account "$uid")
name=${entry%%:*}
gid=${entry#*:}
# The inner shell expands its own arguments.
# shellcheck disable=SC2016
exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/ USER="$name" LOGNAME="$name" \
    chroot --userspec="$uid:$gid" "$POOL_ROOT" \
    /bin/sh -c 'cd "$1" || exit 1; shift; exec "$@"' sh "$cwd" "$command" "$@"
