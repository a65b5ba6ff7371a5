#!/usr/bin/env bash
# Builds Quellfix and its tests and runs every suite under Wine, in a
# throwaway prefix with a Korean locale, an Xvfb display and the
# loopback test HTTP server. Arguments go to ctest (e.g. -R catalog).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${QUELLFIX_TEST_BUILD:-$root/build-tests}

. "$root/scripts/wine-env.sh"
wine_env_start

# The tests build with the test server's address.
cmake -S "$root" -B "$build" --toolchain "$QUELLFIX_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=Release -DQUELLFIX_TESTS=ON \
  -DQUELLFIX_UPDATE_SERVER="http://127.0.0.1:$QUELLFIX_TEST_HTTP_PORT/" >/dev/null
cmake --build "$build" -j"$(nproc)"

wine_env_prefix
ctest --test-dir "$build" --output-on-failure "$@"
