#!/usr/bin/env bash
# Sends a 2 MB system (flash_bench --write) to a virtual TI-89 Titanium served on a socket at
# instant pace with tessaly92-cli, and prints bytes a second and the most memory the CLI held
# (max RSS) against the file's size.
# Usage: bench/flash_send.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
cmake --build "$build" --target tessaly92-cli tessaly92-vcalc flash_bench >/dev/null
cli=$build/src/tessaly92-cli
vcalc=$build/src/tessaly92-vcalc
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

file=$work/system.89u
"$build/bench/flash_bench" --write "$file"
size=$(stat -c %s "$file")
sock=$work/ti89t.sock
"$vcalc" --socket "$sock" --model ti89t --pace instant </dev/null >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do [ -S "$sock" ] && break; sleep 0.1; done

printf '%8s %12s %12s %12s\n' run ms bytes/s "max RSS KB"
for run in $(seq "$runs"); do
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$cli" --link "socket:$sock" --no-pacing send --os "$file" >/dev/null 2>"$work/err" ||
    { cat "$work/err" >&2; exit 1; }
  end=$(date +%s%N)
  ms=$(((end - start) / 1000000))
  printf '%8s %12s %12s %12s\n' "$run" "$ms" $((size * 1000 / (ms > 0 ? ms : 1))) "$(tail -1 "$work/rss")"
done
echo "file: $size bytes ($((size / 1024)) KB)"
