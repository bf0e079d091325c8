#!/usr/bin/env bash
# Builds everything and runs every test: the whole suite, then the core tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer. Warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")"
if [ -n "${SUDO_USER:-}" ]; then
  echo "test.sh: started with sudo: build/ and build-asan/ will belong to root. Run ./test.sh as yourself;" >&2
  echo "it asks for sudo only to install packages." >&2
fi
scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DTESSALY_WERROR=ON
cmake --build build -j "$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")

cmake -S . -B build-asan -G Ninja -DTESSALY_WERROR=ON -DTESSALY_SANITIZE=ON -DTESSALY_BUILD_APP=OFF -DTESSALY_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs" -L 'core|cli')
