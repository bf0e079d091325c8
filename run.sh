#!/usr/bin/env bash
# Builds tessaly92 and starts it on the virtual TI-92.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -G Ninja -DTESSALY_BUILD_BENCH=OFF >/dev/null
cmake --build build --target tessaly92 tessaly92-cli tessaly92-vcalc
export TESSALY92_LINK="${TESSALY92_LINK:-virtual}"
exec build/src/tessaly92 "$@"
