#!/usr/bin/env bash
# Sends a 10 KB program to the virtual calculator of each later model at its default pace,
# in turn with the independent link library (interop_peer, through parportshim) and with
# tessaly92-cli, on the same server; then counts each one's line accesses per byte sent.
# Usage: bench/interop_send.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
bytes=10240
cmake --build "$build" --target tessaly92-cli tessaly92-vcalc interop_peer parportshim >/dev/null
cli=$build/src/tessaly92-cli
vcalc=$build/src/tessaly92-vcalc
peer=$build/tests/interop/interop_peer
shim=$build/tests/interop/parportshim.so
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

# Milliseconds the command took; its output is dropped, a failure ends the script.
timed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
# "writes W reads R" of the last port closed, per byte sent.
perbyte() {
  tail -1 "$1" | awk -v n="$bytes" '{printf "%.1f (%.1f writes + %.1f reads)", ($2 + $4) / n, $2 / n, $4 / n}'
}

printf '%-6s %10s %10s %6s   %-32s %s\n' model "lib ms" "ours ms" ratio "lib accesses/byte" "ours accesses/byte"
for model in ti92p:9x v200:v2 ti89:89 ti89t:89; do
  ext=${model#*:} model=${model%:*}
  "$vcalc" --model "$model" --version >/dev/null 2>&1 || continue  # not offered yet
  sock=$work/$model.sock
  "$vcalc" --socket "$sock" --model "$model" </dev/null >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 50); do [ -S "$sock" ] && break; sleep 0.1; done
  file=$work/big.${ext}p
  "$peer" "$model" makeprogram "$file" "$bytes"
  lib=(env TESSALY92_PARPORT_SOCKET="$sock" TESSALY92_PARPORT_COUNT="$work/lib-$model" LD_PRELOAD="$shim"
       "$peer" -t 20 "$model" send "$file")
  ours=("$cli" --link "socket:$sock" send "$file" --overwrite)
  libms=() oursms=()
  for _ in $(seq "$runs"); do
    libms+=("$(timed "${lib[@]}")")
    oursms+=("$(timed "${ours[@]}")")
  done
  # Ours counted on the same port interface as the library: its ppdev backend through the
  # shim (the same exchanges as over the socket; its send looks at the listing first).
  env TESSALY92_PARPORT_SOCKET="$sock" TESSALY92_PARPORT_COUNT="$work/ours-$model" LD_PRELOAD="$shim" \
    "$cli" --link ppdev:/dev/parport0 send "$file" --overwrite >/dev/null 2>&1
  l=$(echo "${libms[*]}" | median) o=$(echo "${oursms[*]}" | median)
  printf '%-6s %10s %10s %6s   %-32s %s\n' "$model" "$l" "$o" "$(awk -v a="$l" -v b="$o" 'BEGIN {printf "%.2f", a / b}')" \
    "$(perbyte "$work/lib-$model")" "$(perbyte "$work/ours-$model")"
  kill "$server"
  wait "$server" 2>/dev/null || true
  server=
done
