#!/usr/bin/env bash
# Stand-in for SLURM's sacct as the profile's status script calls it: `sacct -j ID ...` prints
# the state the stand-in sbatch recorded for job ID.
set -euo pipefail
[[ $1 == -j ]] && cat "${FAKE_SLURM_DIR:?}/$2.state"
