#!/usr/bin/env bash
# Installs what is missing, builds the tool with GCC, with clang, with
# AddressSanitizer + UndefinedBehaviorSanitizer and optimised (Release, GCC),
# warnings as errors, and runs every test in each build; then the Windows
# build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
build() {  # build DIR [cmake options...]; later options win over the defaults
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXOV_WERROR=ON "$@" >/dev/null
  ninja -C "$dir"
}

build build/gcc -DCMAKE_CXX_COMPILER=g++
build build/clang -DCMAKE_CXX_COMPILER=clang++
build build/asan -DCMAKE_CXX_COMPILER=g++ -DXOV_SANITIZE=ON
build build/release -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release

# A test that needs the machine-wide single-instance lock and finds it held
# by another instance of the tool fails here instead of being skipped.
export XOV_REQUIRE_MACHINE_LOCK=1
for dir in build/gcc build/clang build/asan build/release; do
  echo "== tests: $dir"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
done

if [ -x scripts/test-windows.sh ]; then
  echo "== Windows build under Wine"
  scripts/test-windows.sh
fi
