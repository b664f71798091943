#!/usr/bin/env bash
# Skiff's main job on the built-in default: sends sample files to the simulated Newton.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target skiff newton-sim
echo "demo: the download to the simulated Newton is not ready yet"
