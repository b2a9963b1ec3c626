#!/usr/bin/env bash
# Builds the tool and runs its main job, a default run, on the hub stand-in's
# healthy machine in real time. Options given here are passed to the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/gcc XOVSensorHubCalibration XOVSensorHubCalibration-sim >/dev/null
mkdir -p build/run
cd build/run
exec ../gcc/XOVSensorHubCalibration-sim --hub ../../sim/hubs/healthy.hub --realtime -- "$@"
