#!/usr/bin/env bash
# Builds Quellfix and its tests and runs every suite under Wine, in a
# throwaway prefix with a Korean locale, an Xvfb display and the
# loopback test HTTP server. Arguments go to ctest (e.g. -R catalog).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${QUELLFIX_TEST_BUILD:-$root/build-tests}

# The portable core first, natively: its tables under the sanitizers, then
# each fuzz target for a bounded time from the seeds in fuzz/corpus (a
# finding fails the run and leaves its input in the work folder).
native=${QUELLFIX_NATIVE_BUILD:-$root/build-native}
cmake -S "$root/native" -B "$native" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$native" -j"$(nproc)"
ctest --test-dir "$native" --output-on-failure
fuzz_seconds=${QUELLFIX_FUZZ_SECONDS:-20}
for target in "$native"/fuzz_*; do
  name=$(basename "$target"); name=${name#fuzz_}
  work=$(mktemp -d "/tmp/quellfix-fuzz-$name.XXXXXX")
  ( cd "$work" && "$target" -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
      "$work" "$root/fuzz/corpus/$name" >"$work/log" 2>&1 ) ||
    { tail -30 "$work/log" >&2; echo "fuzz_$name found a fault; inputs in $work" >&2; exit 1; }
  echo "fuzz_$name: $(grep -o 'number_of_executed_units: [0-9]*' "$work/log" | cut -d' ' -f2) runs in ${fuzz_seconds} s"
  rm -rf "$work"
done

# The 32-bit program a release ships, and its setup program: built as a
# release build is (cmake/mingw-w64-i686.cmake, no tests), then their PE
# headers and import tables checked against every supported Windows. This
# machine may not run 32-bit code; the check is static.
ship=${QUELLFIX_SHIP_BUILD:-$root/build-i686}
cmake -S "$root" -B "$ship" --toolchain "$root/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUELLFIX_TESTS=OFF >/dev/null
cmake --build "$ship" -j"$(nproc)" --target Quellfix quellfix_setup
python3 "$root/scripts/test_check_imports.py"
python3 "$root/scripts/check_imports.py" "$ship/Quellfix.exe" "$ship/QuellfixSetup.exe"

. "$root/scripts/wine-env.sh"
wine_env_start

# The tests build with the test server's address.
cmake -S "$root" -B "$build" --toolchain "$QUELLFIX_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=Release -DQUELLFIX_THREAD_MODEL=posix -DQUELLFIX_TESTS=ON -DQUELLFIX_TRUST_KEY= \
  -DQUELLFIX_STILL_RUNNING_INTERVAL_MS=2000 -DQUELLFIX_RESTART_STANDIN=ON \
  -DQUELLFIX_UPDATE_SERVER="http://127.0.0.1:$QUELLFIX_TEST_HTTP_PORT/" >/dev/null
cmake --build "$build" -j"$(nproc)"

wine_env_prefix
ctest --test-dir "$build" --output-on-failure "$@"
