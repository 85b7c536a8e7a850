#!/usr/bin/env bash
# Installs what is missing, builds, checks the build's guards, and runs the
# whole test suite.
#
# The guards: the include edges between the folders of Source/ stay within
# scripts/include-edges.txt (checked first: it needs no build), every C++ file
# is formatted as .clang-format says, and the build has no warnings
# (VESK_WERROR, on here; VESK_WERROR=OFF in the environment for a compiler
# that warns about other things than CI's).
set -euo pipefail
scripts="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bash "$scripts/check-includes.sh"
CMAKE_EXTRA_ARGS="-DVESK_WERROR=${VESK_WERROR:-ON} ${CMAKE_EXTRA_ARGS:-}"
source "$scripts/setup.sh"
bash "$scripts/check-format.sh"
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" "$@"
