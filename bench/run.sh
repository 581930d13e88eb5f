#!/bin/sh
# Builds the native preset's kv_bench and runs it; arguments go to the benchmark
# (for example --benchmark_filter=Login --benchmark_repetitions=5).
set -e
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
cmake --build --preset linux --target kv_bench
exec build/linux/bench/kv_bench "$@"
