#!/usr/bin/env bash
# Snakemake's cluster-status command: prints running, success or failed for a SLURM job id.
# sacct can lag behind a fresh submission; a job it does not know yet counts as running.
# `sbatch --parsable` prints ID or ID;CLUSTER: sacct wants the ID.
set -uo pipefail
state=$(sacct -j "${1%%;*}" --format=State --noheader --parsable2 2>/dev/null | head -n 1)
case ${state%% *} in
  COMPLETED) echo success ;;
  ""|PENDING|CONFIGURING|RUNNING|COMPLETING|REQUEUED|RESIZING|SUSPENDED) echo running ;;
  *) echo failed ;;
esac
