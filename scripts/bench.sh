#!/usr/bin/env bash
# Builds and runs the benchmarks (bench/bench_NAME.cpp) under Wine in the same
# throwaway world as the tests. Each prints its figures and its floor's, and
# as its last line the ratio ours/floor.
# Usage: scripts/bench.sh              every benchmark, then one table
#        scripts/bench.sh NAME [args]  one benchmark with its arguments
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${QUELLFIX_TEST_BUILD:-$root/build-tests}
all=(inventory startup download remote_size memory resume)
one=${1:-}
if [ -n "$one" ]; then names=("$one"); shift; else names=("${all[@]}"); fi

. "$root/scripts/wine-env.sh"
wine_env_start
cmake -S "$root" -B "$build" --toolchain "$QUELLFIX_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=Release -DQUELLFIX_THREAD_MODEL=posix -DQUELLFIX_TESTS=ON -DQUELLFIX_TRUST_KEY= \
  -DQUELLFIX_UPDATE_SERVER="http://127.0.0.1:$QUELLFIX_TEST_HTTP_PORT/" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${names[@]/#/bench_}" Quellfix
wine_env_prefix

if [ -n "$one" ]; then
  wine "$build/bench/bench_$one.exe" "$@"
  exit
fi

# Every benchmark with its defaults, its output shown as it comes, then one
# table of the medians from the lines each prints (see bench/BenchRounds.h).
status=0
table="$QUELLFIX_TEST_WORK/table"
for name in "${names[@]}"; do
  echo "== bench_$name"
  out="$QUELLFIX_TEST_WORK/bench_$name.out"
  wine "$build/bench/bench_$name.exe" </dev/null | tr -d '\r' | tee "$out" || status=1
  awk -v name="$name" '
    function median(line,  f, n, i) { n = split(line, f, " "); for (i = 1; i < n; i++) if (f[i] == "median") return f[i + 1] " " f[n]; return "-" }
    /^ours / { ours = median($0) } /^floor / { floor = median($0) } { last = $0 }
    /^ratio ours\/ref / { split($0, f, " "); ref = f[4] }
    END {
      ratio = "-"; goal = "-"
      if (last ~ /^ratio ours\/floor/) { split(last, f, " "); ratio = f[4]; sub(/.*goal /, "", last); goal = last }
      printf "%-12s %-14s %-14s %-7s %-15s %s\n", name, ours == "" ? "failed" : ours, floor == "" ? "-" : floor, ratio, goal, ref == "" ? "-" : ref
    }' "$out" >>"$table"
done
echo
printf "%-12s %-14s %-14s %-7s %-15s %s\n" benchmark ours floor ratio goal ours/ref
cat "$table"
exit $status
