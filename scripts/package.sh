#!/usr/bin/env bash
# Builds the Debian package of Kelvane: installs what building needs when any of it is missing, makes a
# Release build without the test suite in build-package/ (PACKAGE_BUILD_DIR chooses another folder;
# CMAKE_FLAGS adds flags, JOBS sets parallel compiles) and has CPack write it as
# build/kelvane_<version>_<architecture>.deb. Install it with: sudo apt-get install ./build/kelvane_*.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${PACKAGE_BUILD_DIR:-build-package}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF ${CMAKE_FLAGS:-}
cmake --build "$build_dir" -j"${JOBS:-2}"
rm -f "$build_dir"/kelvane_*.deb
(cd "$build_dir" && cpack -G DEB)
package="$(ls "$build_dir"/kelvane_*.deb)"
mkdir -p "$root/build"
cp "$package" "$root/build/"
echo "package: $root/build/$(basename "$package")"
