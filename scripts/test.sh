#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with ctest (arguments go to ctest).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac
bash "$root/scripts/build.sh"
cd "$build_dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"${JOBS:-2}" "$@"
