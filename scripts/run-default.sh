#!/usr/bin/env bash
# Builds the tool and runs its main job: a default run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/gcc XOVSensorHubCalibration >/dev/null
mkdir -p build/run
cd build/run
exec ../gcc/XOVSensorHubCalibration "$@"
