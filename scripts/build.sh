#!/usr/bin/env bash
# Installs what is missing, then configures and builds Kelvane into build/. BUILD_DIR (relative to the
# source folder, or absolute), BUILD_TYPE and CMAKE_FLAGS choose otherwise; JOBS sets parallel compiles.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_FLAGS:-}
cmake --build "$build_dir" -j"${JOBS:-2}"
