#!/usr/bin/env bash
# Builds and runs one benchmark program (bench/bench_NAME.cpp) under Wine in
# the same throwaway world as the tests, and prints its figures.
# Usage: scripts/bench.sh NAME [arguments for the benchmark]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 NAME [args]" >&2; exit 2; }
name=$1; shift
"$root/scripts/deps.sh"
build=${QUELLFIX_TEST_BUILD:-$root/build-tests}

. "$root/scripts/wine-env.sh"
wine_env_start
cmake -S "$root" -B "$build" --toolchain "$QUELLFIX_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=Release -DQUELLFIX_TESTS=ON \
  -DQUELLFIX_UPDATE_SERVER="http://127.0.0.1:$QUELLFIX_TEST_HTTP_PORT/" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "bench_$name" Quellfix
wine_env_prefix
wine "$build/bench/bench_$name.exe" "$@"
