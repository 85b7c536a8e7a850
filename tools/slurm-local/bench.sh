#!/usr/bin/env bash
# Measures how long job arrays of trivial tasks take on the running cluster,
# from the sbatch call until squeue no longer lists any task of the array
# (polled every 0.1 s, as a caller that polls would see it).
#
#   bench.sh [-c COMMAND] [SIZE...]     default: -c 'sleep 0.1' 2 10 20 100
#
# The cluster must run (start.sh); SLURM_LOCAL_DIR selects which one.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"

command='sleep 0.1'
if [[ ${1:-} == -c ]]; then
    [[ $# -ge 2 ]] || die "-c needs a command"
    command=$2
    shift 2
fi
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(2 10 20 100)

cluster_running || die "the cluster in $state_dir does not run; start it with start.sh"
export SLURM_CONF=$conf

now() { date +%s.%N; }
diff_s() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

for n in "${sizes[@]}"; do
    [[ $n =~ ^[1-9][0-9]*$ ]] || die "array size must be a positive number, not '$n'"
    t0=$(now)
    id=$(sbatch --parsable --array=0-$((n - 1)) -o /dev/null -e /dev/null --chdir=/tmp \
        --job-name=bench --wrap="$command")
    id=${id%%;*}
    t_sub=$(now)
    while [[ -n $(squeue -h -j "$id" -o %i 2>/dev/null) ]]; do
        sleep 0.1
    done
    t1=$(now)
    printf '%4d tasks of "%s": %6.2f s (sbatch returned after %.2f s, job %s)\n' \
        "$n" "$command" "$(diff_s "$t0" "$t1")" "$(diff_s "$t0" "$t_sub")" "$id"
done
