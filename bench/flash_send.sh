#!/usr/bin/env bash
# Sends a system to a virtual TI-89 Titanium served on a socket at instant pace, first with
# tessaly92-cli, then with the independent link library (the interop peer through its
# parallel-port shim) on the same file and the same kind of server, and prints for each the
# time, bytes a second and the most memory the sender held (max RSS) against the file's size.
# Every bit crosses the socket as line changes, so a whole 2 MB system takes many minutes:
# the default is 64 KiB, and the rate is what counts.
# Usage: bench/flash_send.sh [BUILD_DIR] [BYTES] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
bytes=${2:-65536}
runs=${3:-1}
cmake --build "$build" --target tessaly92-cli tessaly92-vcalc flash_bench >/dev/null
cli=$build/src/tessaly92-cli
vcalc=$build/src/tessaly92-vcalc
peer=$build/tests/interop/interop_peer
shim=$build/tests/interop/parportshim.so
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

file=$work/system.89u
"$build/bench/flash_bench" --write "$file" "$bytes"
size=$(stat -c %s "$file")
sock=$work/ti89t.sock

serve() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  rm -f "$sock"
  "$vcalc" --socket "$sock" --model ti89t --pace instant </dev/null >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 50); do [ -S "$sock" ] && break; sleep 0.1; done
}

timed() {  # NAME COMMAND...
  local name=$1
  shift
  local start end ms
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  end=$(date +%s%N)
  ms=$(((end - start) / 1000000))
  printf '%-10s %8s %10s %12s %12s\n' "$name" "$run" "$ms" $((size * 1000 / (ms > 0 ? ms : 1))) "$(tail -1 "$work/rss")"
}

printf '%-10s %8s %10s %12s %12s\n' sender run ms bytes/s "max RSS KB"
for run in $(seq "$runs"); do
  serve
  timed ours "$cli" --link "socket:$sock" --no-pacing send --os "$file"
  if [ -x "$peer" ]; then
    serve
    TESSALY92_PARPORT_SOCKET=$sock LD_PRELOAD=$shim timed library "$peer" -t 600 ti89t send-os "$file"
  fi
done
echo "file: $size bytes ($((size / 1024)) KB)"
