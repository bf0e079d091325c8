#!/usr/bin/env bash
# Builds tessaly92 and starts it on the virtual TI-92.
set -euo pipefail
cd "$(dirname "$0")"
if [ "$(id -u)" -eq 0 ]; then
  echo "run.sh: running as root: build/ will belong to root, the settings go to root's home and" >&2
  echo "received files are saved as root. Run ./run.sh as yourself; it asks for sudo only to install packages." >&2
fi
scripts/deps.sh
cmake -S . -B build -G Ninja -DTESSALY_BUILD_BENCH=OFF >/dev/null
cmake --build build --target tessaly92 tessaly92-cli tessaly92-vcalc
export TESSALY92_LINK="${TESSALY92_LINK:-virtual}"
exec build/src/tessaly92 "$@"
