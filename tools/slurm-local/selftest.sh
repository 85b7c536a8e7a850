#!/usr/bin/env bash
# Checks that the local Slurm cluster behaves the way a job-array client
# relies on: one array with an explicit index list, a working folder and
# output files per task, and for every task the state and exit code seen
# through squeue, scontrol and the job completion file.
#
#   selftest.sh [--with-timeout]
#
# Task 0 writes a result file and exits 0 (COMPLETED 0:0), task 3 exits 3
# (FAILED 3:0), task 5 is killed by SIGKILL (FAILED 0:9), and task 8 starts a
# child process and sleeps until it is cancelled with scancel (CANCELLED);
# its child must be gone afterwards. With --with-timeout task 8 is left to
# run into its one-minute time limit instead (TIMEOUT), which takes 60-90 s
# because slurmctld checks time limits only every 30 s or so.
#
# The cluster is started when it does not run, and then stopped again at the
# end; a cluster that ran before is left running. Exit status 0 when every
# check passes.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"

with_timeout=0
case ${1:-} in
"") ;;
--with-timeout) with_timeout=1 ;;
*) die "usage: selftest.sh [--with-timeout]" ;;
esac

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
t_start=$(now)
started_here=0
work=""
cleanup() {
    [[ -n $work ]] && rm -rf "$work"
    if [[ $started_here -eq 1 ]]; then
        "$here/stop.sh" >/dev/null || say "warning: stop.sh failed"
    fi
}
trap cleanup EXIT

if ! cluster_running; then
    "$here/start.sh" >/dev/null
    started_here=1
fi
export SLURM_CONF=$conf

failures=0
check() { # check WHAT EXPECTED ACTUAL; EXPECTED may list choices as A|B
    local choice
    local -a choices
    IFS='|' read -r -a choices <<<"$2"
    for choice in "${choices[@]}"; do
        if [[ $choice == "$3" ]]; then
            printf '  ok    %-40s %s\n' "$1" "$3"
            return 0
        fi
    done
    printf '  FAIL  %-40s expected %s, got %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/slurm-selftest.XXXXXX")
chmod 0755 "$work"
indices=(0 3 5 8)
for i in "${indices[@]}"; do mkdir "$work/ind$i"; done

# The working folder is written into the script: passing it with
# --export=ALL,NAME=VALUE would make slurmd load the user's login
# environment (su - USER) before every task, which costs seconds per task.
cat >"$work/task.sh" <<EOF
#!/bin/bash
# One task of the self-test; what it does depends on its array index.
cd "$work/ind\$SLURM_ARRAY_TASK_ID" || exit 97
EOF
cat >>"$work/task.sh" <<'EOF'
echo "task $SLURM_ARRAY_TASK_ID of array $SLURM_ARRAY_JOB_ID (job $SLURM_JOB_ID) in $PWD"
case $SLURM_ARRAY_TASK_ID in
0) echo "1.0 2.0" >Eval.individual ;;
3) exit 3 ;;
5) kill -KILL $$ ;;
8)
    sleep 600 &
    echo $! >child.pid
    sleep 601
    ;;
esac
EOF
chmod 0755 "$work/task.sh"

# The command line a job-array client uses: explicit indices, output files
# per task (relative to --chdir), the job id alone on standard output.
# shellcheck disable=SC2054 # the commas belong to --array
submit=(sbatch --parsable --array=0,3,5,8 --job-name=selftest --chdir="$work"
    --output='ind%a/slurm.out' --error='ind%a/slurm.err' --time=1 "$work/task.sh")
say "submitting: ${submit[*]}"
t_submit=$(now)
id=$("${submit[@]}")
id=${id%%;*}
[[ $id =~ ^[0-9]+$ ]] || die "sbatch --parsable printed '$id', not a job id"
say "array job $id"

# task_states: "INDEX STATE" per task, pending tasks one per line (-r),
# finished ones included (-t all) while slurmctld keeps them (MinJobAge).
task_states() { squeue -h -r -j "$id" -t all -o '%K %T' 2>/dev/null; }
final_state() {
    case $1 in
    COMPLETED | FAILED | CANCELLED | TIMEOUT | OUT_OF_MEMORY | NODE_FAIL | BOOT_FAIL | DEADLINE | PREEMPTED) return 0 ;;
    *) return 1 ;;
    esac
}

# Wait until task 8 runs and has started its child, then cancel that task.
deadline=$((SECONDS + 60))
until [[ -s $work/ind8/child.pid ]] && task_states | grep -qx '8 RUNNING'; do
    ((SECONDS < deadline)) || die "task 8 did not start within 60 s: $(task_states | tr '\n' ' ')"
    sleep 0.1
done
child=$(<"$work/ind8/child.pid")
if [[ $with_timeout -eq 0 ]]; then
    say "cancelling task ${id}_8"
    scancel "${id}_8"
else
    say "waiting for task ${id}_8 to reach its time limit (60-90 s)"
fi

# Poll all tasks until every one has a final state.
limit=$([[ $with_timeout -eq 1 ]] && echo 180 || echo 60)
deadline=$((SECONDS + limit))
while :; do
    states=$(task_states)
    unfinished=0
    while read -r _ st; do
        final_state "$st" || unfinished=$((unfinished + 1))
    done <<<"$states"
    [[ $(wc -l <<<"$states") -eq 4 && $unfinished -eq 0 ]] && break
    ((SECONDS < deadline)) || die "tasks not finished after $limit s: $(tr '\n' ' ' <<<"$states")"
    sleep 0.2
done
say "all tasks finished $(since "$t_submit") s after submission"

echo "squeue -h -r -j $id -t all -o '%i %A %K %T %r':"
squeue -h -r -j "$id" -t all -o '%i %A %K %T %r' | sed 's/^/    /'

# Per-task state and exit code as scontrol reports them.
declare -A sc_state sc_exit
while read -r line; do
    task=$(grep -o ' ArrayTaskId=[^ ]*' <<<"$line" | cut -d= -f2)
    sc_state[$task]=$(grep -o ' JobState=[^ ]*' <<<"$line" | cut -d= -f2)
    sc_exit[$task]=$(grep -o ' ExitCode=[^ ]*' <<<"$line" | cut -d= -f2)
done < <(scontrol -o show job "$id")

# The job completion file gets its line when slurmctld finishes the record.
declare -A jc_state jc_exit
deadline=$((SECONDS + 10))
while [[ $(grep -c " ArrayJobId=$id " "$state_dir/log/jobcomp.txt" 2>/dev/null) -lt 4 ]]; do
    ((SECONDS < deadline)) || break
    sleep 0.2
done
while read -r line; do
    task=$(grep -o ' ArrayTaskId=[^ ]*' <<<"$line" | cut -d= -f2)
    jc_state[$task]=$(grep -o ' JobState=[^ ]*' <<<"$line" | cut -d= -f2)
    jc_exit[$task]=$(grep -o ' ExitCode=[^ ]*' <<<"$line" | cut -d= -f2)
done < <(grep " ArrayJobId=$id " "$state_dir/log/jobcomp.txt" || true)

# Task 8 gets SIGTERM together with its children. Usually the script dies
# of it (0:15), but when its foreground sleep dies first the shell may
# still exit normally with 128 + 15 (143:0): the state, not the exit code,
# tells that the task was cancelled or timed out. The job completion record
# of such a task is written when slurmctld ends the job, before the step's
# status is known, so it says 0:0 there.
last_exit_sc='0:15|143:0' last_exit_jc=0:0
if [[ $with_timeout -eq 1 ]]; then
    last_state=TIMEOUT
else
    last_state=CANCELLED
fi
declare -A want_state=([0]=COMPLETED [3]=FAILED [5]=FAILED [8]=$last_state)
declare -A want_exit_sc=([0]=0:0 [3]=3:0 [5]=0:9 [8]=$last_exit_sc)
declare -A want_exit_jc=([0]=0:0 [3]=3:0 [5]=0:9 [8]=$last_exit_jc)

echo "checks:"
for i in "${indices[@]}"; do
    check "task $i state (scontrol)" "${want_state[$i]}" "${sc_state[$i]:-missing}"
    check "task $i exit code (scontrol)" "${want_exit_sc[$i]}" "${sc_exit[$i]:-missing}"
    check "task $i state (jobcomp)" "${want_state[$i]}" "${jc_state[$i]:-missing}"
    check "task $i exit code (jobcomp)" "${want_exit_jc[$i]}" "${jc_exit[$i]:-missing}"
    check "task $i ran in ind$i" "task $i of array $id" \
        "$(head -n 1 "$work/ind$i/slurm.out" 2>/dev/null | grep -o "task $i of array $id" || echo 'no such line')"
done
check "task 0 result file" "1.0 2.0" "$(cat "$work/ind0/Eval.individual" 2>/dev/null || echo missing)"
if kill -0 "$child" 2>/dev/null; then
    check "child process of task 8 ended" "gone" "still running (pid $child)"
    kill -KILL "$child" 2>/dev/null || true
else
    check "child process of task 8 ended" "gone" "gone"
fi

say "self-test took $(since "$t_start") s"
if [[ $failures -gt 0 ]]; then
    say "$failures check(s) failed"
    exit 1
fi
say "all checks passed"
