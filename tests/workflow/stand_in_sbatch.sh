#!/usr/bin/env bash
# Stand-in for SLURM's sbatch: records the submission, runs the job script (the last argument)
# in the background and prints a job id as `sbatch --parsable` does (ID;CLUSTER). The job's state is kept
# in $FAKE_SLURM_DIR/<id>.state for the stand-in sacct.
set -euo pipefail
dir=${FAKE_SLURM_DIR:?}
exec 9>"$dir/lock"
flock 9
id=$(( $(cat "$dir/last_id" 2>/dev/null || echo 1000) + 1 ))
echo "$id" > "$dir/last_id"
flock -u 9
echo "$*" >> "$dir/submissions"
echo RUNNING > "$dir/$id.state"
script=${!#}
( if bash "$script" > "$dir/$id.out" 2>&1; then state=COMPLETED; else state=FAILED; fi
  echo "$state" > "$dir/$id.state" ) > /dev/null 2>&1 < /dev/null &
echo "$id;stand-in"  # as `sbatch --parsable` answers on a multi-cluster site
