#!/bin/bash
# conda-build's build script: the two programs and their man pages into $PREFIX (no tests,
# benchmarks or Python module). conda-build runs it in the source tree with PREFIX, CPU_COUNT
# and CMAKE_ARGS set.
set -euxo pipefail

cmake -S . -B build-conda ${CMAKE_ARGS:-} \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="${PREFIX}" \
  -DCMAKE_PREFIX_PATH="${PREFIX}" \
  -DCMAKE_INSTALL_LIBDIR=lib \
  -DPPI_BUILD_TESTS=OFF -DPPI_BUILD_BENCH=OFF -DPPI_BUILD_PYTHON=OFF
cmake --build build-conda -j"${CPU_COUNT:-1}"
cmake --install build-conda
