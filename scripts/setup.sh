#!/usr/bin/env bash
# Installs what the build needs (Debian packages) and builds veskv2, the
# mathcases plug-in, the tests and the benchmarks into build/.
# Sourced by quickstart.sh and test.sh; BUILD_DIR overrides the build folder.
set -euo pipefail

VESK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$VESK_ROOT/build}"
PACKAGES=(cmake g++ make libcxxopts-dev nlohmann-json3-dev libgtest-dev gnuplot-nox poppler-utils
          libsqlite3-dev sqlite3 libssl-dev clang-format)

missing=()
for pkg in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ "${#missing[@]}" -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Missing Debian packages: ${missing[*]}"
        echo "Install them as root with:"
        echo "    apt-get install -y ${missing[*]}"
        exit 1
    fi
fi

cmake -S "$VESK_ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_EXTRA_ARGS:-}
cmake --build "$BUILD_DIR" -j"$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
