#!/bin/sh
# Builds the fuzz targets and runs each for SECONDS seconds, one after another, at the
# lowest priority: fuzz/run-all.sh SECONDS [TARGET...] (every target when none is named).
# Stops at the first finding and names its reproducer. Works in build-fuzz/ (BUILD=...):
# corpus/TARGET grows from the seeds of tests/data, findings/ keeps reproducers, logs/ the output.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 SECONDS [TARGET...]" >&2; exit 2; }
seconds=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$top/build-fuzz}
targets=${*:-fuzz_tifile fuzz_rtf fuzz_text fuzz_settings fuzz_link fuzz_packets fuzz_vcalc}

if [ ! -f "$build/build.ninja" ]; then
    CXX=${CXX:-clang++} cmake -S "$top" -B "$build" -G Ninja -DTESSALY_BUILD_FUZZ=ON \
        -DTESSALY_BUILD_APP=OFF -DTESSALY_BUILD_BENCH=OFF
fi
# shellcheck disable=SC2086
nice -n 19 cmake --build "$build" --target $targets
python3 "$top/fuzz/seeds.py" "$build/corpus"
mkdir -p "$build/findings" "$build/logs"

for t in $targets; do
    case $t in
    fuzz_packets | fuzz_vcalc) maxlen=16384 ;;
    *) maxlen=8192 ;;
    esac
    log=$build/logs/$t.log
    echo "== $t for ${seconds}s (log: $log)"
    if ! nice -n 19 "$build/fuzz/$t" -max_total_time="$seconds" -max_len=$maxlen -timeout=30 \
        -rss_limit_mb=1024 -artifact_prefix="$build/findings/$t-" -print_final_stats=1 \
        "$build/corpus/$t" >"$log" 2>&1; then
        echo "finding in $t:"
        grep -E "ERROR|invariant|Test unit written" "$log" | head -5
        echo "reproduce: $build/fuzz/$t <the file named above>"
        exit 1
    fi
    grep -E "^#[0-9]+.*(cov|DONE)" "$log" | tail -1
done
